// Fuzz target: the LZNT1 decompressor on arbitrary bytes, and the compressor's output decompressed
// back to its input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/lznt1.h"

using namespace lumacore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> input(reinterpret_cast<const std::byte*>(data), size);

    // One NTFS compression unit of 4 KiB clusters, and a buffer that is too small.
    std::vector<std::byte> unit(65536);
    Lznt1Decompress(input, unit);
    std::vector<std::byte> small(100);
    Lznt1Decompress(input, small);

    const std::vector<std::byte> packed = Lznt1Compress(input);
    std::vector<std::byte> unpacked(size + 16);
    const auto produced = Lznt1Decompress(packed, unpacked);
    if (!produced || *produced != size || (size > 0 && std::memcmp(unpacked.data(), data, size) != 0)) std::abort();
    return 0;
}
