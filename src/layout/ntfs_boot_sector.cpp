#include "layout/ntfs_boot_sector.h"

#include <bit>

#include "core/byte_reader.h"
#include "layout/layout_error.h"

namespace lumacore {

namespace {

// A size byte that is negative means 2^-value bytes; positive means that many clusters.
std::uint64_t SizeFromByte(std::int8_t value, std::uint64_t clusterSize) {
    if (value < 0) {
        const int shift = -value;
        return shift < 32 ? std::uint64_t{1} << shift : 0;
    }
    return static_cast<std::uint64_t>(value) * clusterSize;
}

}  // namespace

bool NtfsBootSector::HasUsableRecordSize() const {
    return std::has_single_bit(recordSize) && recordSize >= kNtfsMinRecordSize &&
           recordSize <= kNtfsMaxRecordSize;
}

Result<NtfsBootSector> DecodeNtfsBootSector(std::span<const std::byte> sector) {
    using namespace ntfs_boot;
    const ByteReader r(sector);
    if (!r.matches(kOemName, "NTFS")) return NotThisLayout("no NTFS name", kOemName);
    if (!r.has(0, kParameterBlockEnd)) return Error::Corrupt("NTFS boot sector cut short", sector.size());
    NtfsBootSector b;
    b.oemName = r.zstring(kOemName, 8);
    b.bytesPerSector = r.u16le(kBytesPerSector);
    if (b.bytesPerSector < 256 || b.bytesPerSector > 4096 || !std::has_single_bit(b.bytesPerSector)) {
        return Error::Corrupt("bad bytes per sector", kBytesPerSector);
    }
    // Above 0x80 the byte is a negative power of two (clusters of 128 KiB and more on large volumes).
    const std::uint8_t sectorsByte = r.u8(kSectorsPerCluster);
    const int shift = 256 - sectorsByte;
    const std::uint64_t sectorsPerCluster = sectorsByte <= 0x80 ? sectorsByte
                                            : shift < 32        ? std::uint64_t{1} << shift
                                                                : 0;
    const std::uint64_t clusterSize = sectorsPerCluster * b.bytesPerSector;
    if (!std::has_single_bit(clusterSize) || clusterSize > kNtfsMaxClusterSize) {
        return Error::Corrupt("bad cluster size", kSectorsPerCluster);
    }
    b.clusterSize = static_cast<std::uint32_t>(clusterSize);
    b.totalSectors = r.u64le(kTotalSectors);
    b.mftCluster = r.u64le(kMftCluster);
    b.mftMirrorCluster = r.u64le(kMftMirrorCluster);
    b.recordSize = SizeFromByte(r.i8(kRecordSize), clusterSize);
    b.indexBlockSize = SizeFromByte(r.i8(kIndexBlockSize), clusterSize);
    b.serialNumber = r.u64le(kSerialNumber);
    return b;
}

}  // namespace lumacore
