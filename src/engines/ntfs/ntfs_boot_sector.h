#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumacore {

// The error numbers the NTFS engine's operations return (Windows error numbers, 0 = success).
enum NtfsStatus : int {
    kNtfsOk = 0,
    kNtfsNoImage = 12,        // no device, or a record asked of an image that is not loaded
    kNtfsNotNtfs = 15,        // the boot sector is not an NTFS one
    kNtfsReadFault = 30,      // a read of the device failed or came back short
    kNtfsBadParameter = 87,   // bad record, wrong signature, geometry that makes no sense
    kNtfsMftNotFound = 1200,  // record 0 is not the $MFT
};

// Where an NTFS volume keeps things, from its boot sector.
struct NtfsGeometry {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t clusterSize = 0;  // bytes
    std::uint32_t recordSize = 0;   // bytes per MFT record
    std::uint64_t totalSectors = 0;
    std::uint64_t mftCluster = 0;
    std::uint64_t ClusterCount() const {
        if (clusterSize == 0) return 0;
        if (totalSectors > UINT64_MAX / bytesPerSector) return UINT64_MAX / clusterSize;
        return totalSectors * bytesPerSector / clusterSize;
    }
};

// The geometry from the layout decoder (DecodeNtfsBootSector: the "NTFS" name at offset 3, sector size
// 256..4096 and a power of two, a cluster of at most 2 MiB), plus the engine's own need: records of
// 256 bytes to 64 KiB (1 KiB on most volumes, 4 KiB on 4K-sector disks). kNtfsNotNtfs or
// kNtfsBadParameter otherwise.
int ParseNtfsBootSector(std::span<const std::byte> sector, NtfsGeometry& geometry);

}  // namespace lumacore
