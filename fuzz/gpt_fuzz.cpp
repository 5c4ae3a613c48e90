// Fuzz target: a GPT disk of arbitrary bytes. Sector 0 gets the protective entry, and the headers in
// sector 1 and in the last sector get their signature and true checksums (of whatever header size and
// array the bytes describe), so that the fuzzer reaches the range checks, the entry decoding, the walk's
// records and gaps, the deeper search of the gaps and the planning of GPT restores instead of stopping at
// a checksum. The first byte chooses which copies are fixed up.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/byte_reader.h"
#include "core/crc32.h"
#include "one_disk_map.h"

using namespace lumacore;

namespace {

constexpr std::size_t kSector = 512;
// Small disks keep each run fast; the walk and the search see every sector of them.
constexpr std::size_t kMaxDiskBytes = 1 << 20;
constexpr std::size_t kMinDiskSectors = 68;

void FixHeader(std::vector<std::byte>& disk, std::size_t lba) {
    const std::span<std::byte> header = std::span<std::byte>(disk).subspan(lba * kSector, kSector);
    std::memcpy(header.data(), "EFI PART", 8);
    const ByteReader r(header);
    const std::uint64_t arrayLba = r.u64le(72);
    const std::uint64_t arrayBytes = std::uint64_t{r.u32le(80)} * r.u32le(84);
    if (arrayLba < disk.size() / kSector && arrayBytes <= disk.size() - arrayLba * kSector) {
        PutLe(header, 88, Crc32(std::span<const std::byte>(disk).subspan(arrayLba * kSector, arrayBytes)), 4);
    }
    const std::uint32_t size = r.u32le(12);
    if (size >= 92 && size <= kSector) {
        PutLe(header, 16, 0, 4);
        PutLe(header, 16, Crc32(header.first(size)), 4);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > kMaxDiskBytes) return 0;
    const std::uint8_t mode = data[0];
    const std::size_t sectors = std::max(kMinDiskSectors, (size - 1 + kSector - 1) / kSector);
    auto bytes = std::make_shared<std::vector<std::byte>>(sectors * kSector);
    std::memcpy(bytes->data(), data + 1, size - 1);
    (*bytes)[0x1BE + 4] = std::byte{0xEE};
    if ((mode & 1) != 0) FixHeader(*bytes, 1);
    if ((mode & 2) != 0) FixHeader(*bytes, sectors - 1);

    OneDiskMap map(bytes);
    SearchAndPlan(map);
    return 0;
}
