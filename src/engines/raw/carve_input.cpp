#include "engines/raw/carve_input.h"

#include <algorithm>
#include <cstring>

namespace lumacore {

namespace {

// A miss reads at least this much, so that parsers stepping through small fields do not cost one
// system call each, and at most kMaxWindow, so that a small file does not pull in megabytes.
constexpr std::size_t kMinRead = std::size_t{64} << 10;

}  // namespace

CarveInput::CarveInput(ByteSource& source, std::uint64_t base, std::uint64_t limit,
                       std::vector<std::byte>* buffer)
    : source_(source), base_(base), limit_(limit), buffer_(buffer != nullptr ? *buffer : ownBuffer_) {
    const std::uint64_t size = source.Size();
    const std::uint64_t available = size > base ? size - base : 0;
    limit_ = std::min(limit_, available);
}

std::span<const std::byte> CarveInput::Window(std::uint64_t offset, std::size_t n) {
    if (offset >= limit_) return {};
    n = static_cast<std::size_t>(std::min<std::uint64_t>({n, kMaxWindow, limit_ - offset}));
    if (offset >= bufferStart_ && offset - bufferStart_ + n <= bufferLength_) {
        return std::span<const std::byte>(buffer_).subspan(static_cast<std::size_t>(offset - bufferStart_),
                                                           n);
    }
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kMinRead), limit_ - offset));
    if (buffer_.size() < want) buffer_.resize(std::max(want, std::min(kMaxWindow, buffer_.size() * 2)));
    bufferStart_ = offset;
    bufferLength_ = 0;
    auto read = source_.ReadAt(base_ + offset, std::span<std::byte>(buffer_.data(), want));
    if (!read) return {};
    bufferLength_ = *read;
    // The device ended early: nothing past it is in reach from now on.
    if (*read < want) limit_ = offset + *read;
    return std::span<const std::byte>(buffer_.data(), std::min(n, bufferLength_));
}

std::optional<std::uint64_t> CarveInput::Field(std::uint64_t offset, std::size_t n, bool bigEndian) {
    const auto bytes = Window(offset, n);
    if (bytes.size() < n) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto byte = std::to_integer<std::uint64_t>(bytes[bigEndian ? i : n - 1 - i]);
        value = (value << 8) | byte;
    }
    return value;
}

std::optional<std::uint8_t> CarveInput::U8(std::uint64_t offset) {
    const auto v = Field(offset, 1, false);
    return v ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*v)) : std::nullopt;
}
std::optional<std::uint16_t> CarveInput::U16le(std::uint64_t offset) {
    const auto v = Field(offset, 2, false);
    return v ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*v)) : std::nullopt;
}
std::optional<std::uint16_t> CarveInput::U16be(std::uint64_t offset) {
    const auto v = Field(offset, 2, true);
    return v ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*v)) : std::nullopt;
}
std::optional<std::uint32_t> CarveInput::U32le(std::uint64_t offset) {
    const auto v = Field(offset, 4, false);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
}
std::optional<std::uint32_t> CarveInput::U32be(std::uint64_t offset) {
    const auto v = Field(offset, 4, true);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
}
std::optional<std::uint64_t> CarveInput::U64le(std::uint64_t offset) {
    return Field(offset, 8, false);
}
std::optional<std::uint64_t> CarveInput::U64be(std::uint64_t offset) {
    return Field(offset, 8, true);
}

bool CarveInput::Equals(std::uint64_t offset, std::string_view text) {
    const auto bytes = Window(offset, text.size());
    return bytes.size() == text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

bool CarveInput::Read(std::uint64_t offset, std::span<std::byte> out) {
    const auto bytes = Window(offset, out.size());
    if (bytes.size() != out.size()) return false;
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size());
    return true;
}

std::optional<std::uint64_t> CarveInput::Find(std::uint64_t from, std::uint64_t to, std::string_view needle) {
    if (needle.empty() || needle.size() > kMaxWindow / 2) return std::nullopt;
    to = std::min(to, limit_);
    // Windows overlap by the needle's length less one, so a match across two windows is seen. They
    // grow from small, so that a small file's end costs a small read.
    std::size_t step = kMinRead;
    while (from < to && to - from >= needle.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, step + needle.size() - 1));
        step = std::min(step * 2, kMaxWindow / 2);
        const auto bytes = Window(from, n);
        if (bytes.size() < needle.size()) return std::nullopt;
        const auto* data = reinterpret_cast<const char*>(bytes.data());
        const std::string_view hay(data, bytes.size());
        const std::size_t at = hay.find(needle);
        if (at != std::string_view::npos) return from + at;
        from += bytes.size() - (needle.size() - 1);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> CarveInput::FindByte(std::uint64_t from, std::uint64_t to, std::uint8_t value) {
    to = std::min(to, limit_);
    std::size_t step = kMinRead;
    while (from < to) {
        std::span<const std::byte> bytes;
        if (from >= bufferStart_ && from - bufferStart_ < bufferLength_) {
            // What the buffer already holds is searched before anything is read again.
            const auto skip = static_cast<std::size_t>(from - bufferStart_);
            bytes = std::span<const std::byte>(buffer_).subspan(
                skip, static_cast<std::size_t>(std::min<std::uint64_t>(bufferLength_ - skip, to - from)));
        } else {
            bytes = Window(from, static_cast<std::size_t>(std::min<std::uint64_t>(to - from, step)));
            step = std::min(step * 2, kMaxWindow);
        }
        if (bytes.empty()) return std::nullopt;
        const void* hit = std::memchr(bytes.data(), value, bytes.size());
        if (hit != nullptr)
            return from + static_cast<std::uint64_t>(static_cast<const std::byte*>(hit) - bytes.data());
        from += bytes.size();
    }
    return std::nullopt;
}

}  // namespace lumacore
