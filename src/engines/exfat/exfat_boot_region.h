#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_source.h"
#include "core/result.h"

namespace lumacore {

// Where everything of an exFAT volume lies, from its boot sector. Sector numbers are relative to the
// volume's first sector and counted in the volume's own sector size.
struct ExfatGeometry {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t volumeLength = 0;  // sectors
    std::uint32_t fatOffset = 0;     // sector of the first FAT
    std::uint32_t fatLength = 0;     // sectors per FAT
    std::uint32_t fatCount = 0;      // 1, or 2 on transaction-safe volumes
    std::uint32_t activeFat = 0;     // which FAT and bitmap are current (volume flags bit 0)
    std::uint32_t clusterHeapOffset = 0;
    std::uint32_t clusterCount = 0;  // clusters numbered 2 .. clusterCount + 1
    std::uint32_t rootCluster = 0;
    std::uint32_t serialNumber = 0;
    bool fromBackup = false;  // the main boot region was damaged and the backup one was used
    bool checksumOk = false;  // the boot region's checksum sector matched

    std::uint32_t ClusterBytes() const { return bytesPerSector * sectorsPerCluster; }
    bool IsDataCluster(std::uint64_t cluster) const {
        return cluster >= 2 && cluster < std::uint64_t{clusterCount} + 2;
    }
    std::uint64_t ClusterFirstSector(std::uint32_t cluster) const {
        return clusterHeapOffset + std::uint64_t{cluster - 2} * sectorsPerCluster;
    }
    // Byte offset of a cluster relative to the volume's start.
    std::uint64_t ClusterOffset(std::uint32_t cluster) const {
        return ClusterFirstSector(cluster) * bytesPerSector;
    }
    std::uint64_t ActiveFatOffset() const {
        return (std::uint64_t{fatOffset} + std::uint64_t{activeFat} * fatLength) * bytesPerSector;
    }
};

// A boot region is the boot sector, eight extended boot sectors, the OEM parameters, a reserved sector
// and the checksum sector; the backup copy follows it.
constexpr std::uint32_t kExfatBootRegionSectors = 12;

// True when a sector begins like an exFAT boot sector ("EXFAT   " at byte 3).
bool IsExfatBootSector(std::span<const std::byte> sector);

// Decodes the boot sector's fields; refuses values that would make the geometry meaningless.
Result<ExfatGeometry> ParseExfatBootSector(std::span<const std::byte> sector);

// The checksum over the first eleven sectors of a boot region (volume flags and percent-in-use are
// left out, since they change while the volume is mounted).
std::uint32_t ExfatBootChecksum(std::span<const std::byte> elevenSectors);

// Reads the boot region of the volume at `volumeOffset`: the main one when it is sound, else the backup;
// when neither checksum matches, the first one whose fields make sense.
Result<ExfatGeometry> ReadExfatBootRegion(ByteSource& disk, std::uint64_t volumeOffset);

}  // namespace lumacore
