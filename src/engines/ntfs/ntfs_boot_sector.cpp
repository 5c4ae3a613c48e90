#include "engines/ntfs/ntfs_boot_sector.h"

#include "core/byte_reader.h"

namespace lumacore {

namespace {

// Windows formats clusters of up to 2 MiB; anything larger is not a boot sector we can trust.
constexpr std::uint64_t kMaxClusterSize = 2u << 20;
// Records are 1 KiB, or the sector size on 4K-sector disks; the format allows 256 B .. 64 KiB.
constexpr std::uint64_t kMinRecordSize = 256;
constexpr std::uint64_t kMaxRecordSize = 64u << 10;

bool IsPowerOfTwo(std::uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// A size byte that is negative means 2^-value bytes; positive means that many clusters.
std::uint64_t SizeFromByte(std::int8_t value, std::uint64_t clusterSize) {
    if (value < 0) {
        const int shift = -value;
        return shift < 32 ? std::uint64_t{1} << shift : 0;
    }
    return static_cast<std::uint64_t>(value) * clusterSize;
}

}  // namespace

int ParseNtfsBootSector(std::span<const std::byte> sector, NtfsGeometry& geometry) {
    const ByteReader r(sector);
    if (!r.matches(3, "NTFS")) return kNtfsNotNtfs;
    const std::uint32_t bytesPerSector = r.u16le(0x0B);
    const std::uint8_t sectorsByte = r.u8(0x0D);
    if (!r.ok() || bytesPerSector < 256 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector)) {
        return kNtfsBadParameter;
    }
    // Above 0x80 the byte is a negative power of two (clusters of 128 KiB and more on large volumes).
    const int shift = 256 - sectorsByte;
    const std::uint64_t sectorsPerCluster = sectorsByte <= 0x80 ? sectorsByte
                                            : shift < 32        ? std::uint64_t{1} << shift
                                                                : 0;
    const std::uint64_t clusterSize = sectorsPerCluster * bytesPerSector;
    if (!IsPowerOfTwo(clusterSize) || clusterSize > kMaxClusterSize) return kNtfsBadParameter;
    const std::uint64_t recordSize = SizeFromByte(r.i8(0x40), clusterSize);
    if (!IsPowerOfTwo(recordSize) || recordSize < kMinRecordSize || recordSize > kMaxRecordSize) {
        return kNtfsBadParameter;
    }
    geometry.bytesPerSector = bytesPerSector;
    geometry.clusterSize = static_cast<std::uint32_t>(clusterSize);
    geometry.recordSize = static_cast<std::uint32_t>(recordSize);
    geometry.totalSectors = r.u64le(0x28);
    geometry.mftCluster = r.u64le(0x30);
    return r.ok() ? kNtfsOk : kNtfsBadParameter;
}

}  // namespace lumacore
