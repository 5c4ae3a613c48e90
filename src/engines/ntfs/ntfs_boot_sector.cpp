#include "engines/ntfs/ntfs_boot_sector.h"

#include "layout/ntfs_boot_sector.h"

namespace lumacore {

int ParseNtfsBootSector(std::span<const std::byte> sector, NtfsGeometry& geometry) {
    auto decoded = DecodeNtfsBootSector(sector);
    if (!decoded) return decoded.error().kind == ErrorKind::Unsupported ? kNtfsNotNtfs : kNtfsBadParameter;
    // The engine reads the MFT record by record: without a record size there is nothing to read.
    if (!decoded->HasUsableRecordSize()) return kNtfsBadParameter;
    geometry.bytesPerSector = decoded->bytesPerSector;
    geometry.clusterSize = decoded->clusterSize;
    geometry.recordSize = static_cast<std::uint32_t>(decoded->recordSize);
    geometry.totalSectors = decoded->totalSectors;
    geometry.mftCluster = decoded->mftCluster;
    return kNtfsOk;
}

}  // namespace lumacore
