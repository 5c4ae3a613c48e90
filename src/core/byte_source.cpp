#include "core/byte_source.h"

#include <algorithm>
#include <cstring>

namespace lumacore {

Result<void> ReadExact(ByteSource& source, std::uint64_t offset, std::span<std::byte> out) {
    auto got = source.ReadAt(offset, out);
    if (!got) return got.error();
    if (*got != out.size()) {
        return Error::Io("short read: " + std::to_string(*got) + " of " + std::to_string(out.size()) + " bytes", 0,
                         offset);
    }
    return {};
}

Result<std::size_t> MemorySource::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    if (offset >= bytes_.size()) return std::size_t{0};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
    if (n > 0) std::memcpy(out.data(), bytes_.data() + offset, n);
    return n;
}

}  // namespace lumacore
