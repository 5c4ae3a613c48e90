#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/result.h"

namespace lumacore {

enum class FatKind { Fat12, Fat16, Fat32 };

// Where everything of a FAT volume lies, from its boot sector. Sector numbers are relative to the
// volume's first sector and counted in the volume's own sector size.
struct FatGeometry {
    FatKind kind = FatKind::Fat16;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatCount = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t rootEntryCount = 0;  // FAT12/16: entries of the fixed root directory region
    std::uint32_t totalSectors = 0;
    std::uint32_t rootCluster = 0;     // FAT32: first cluster of the root directory
    std::uint32_t rootDirSectors = 0;  // FAT12/16: length of the root directory region
    std::uint32_t clusterCount = 0;    // data clusters, numbered 2 .. clusterCount + 1

    std::uint32_t ClusterBytes() const { return bytesPerSector * sectorsPerCluster; }
    std::uint32_t FatStartSector() const { return reservedSectors; }
    std::uint32_t RootDirSector() const { return reservedSectors + fatCount * sectorsPerFat; }
    // First sector of cluster 2: right after the FATs and (FAT12/16) the root directory region.
    std::uint32_t DataStartSector() const { return RootDirSector() + rootDirSectors; }
    std::uint64_t ClusterFirstSector(std::uint32_t cluster) const {
        return DataStartSector() + std::uint64_t{cluster - 2} * sectorsPerCluster;
    }
    bool IsDataCluster(std::uint64_t cluster) const { return cluster >= 2 && cluster < std::uint64_t{clusterCount} + 2; }
    // Highest cluster number an entry may name for the plausibility tests: total sectors / sectors per cluster.
    std::uint32_t HighestPlausibleCluster() const { return totalSectors / sectorsPerCluster; }
    // FAT entries at or above this value end a chain (bad-cluster marks included).
    std::uint32_t EndOfChain() const {
        return kind == FatKind::Fat12 ? 0xFF0u : kind == FatKind::Fat16 ? 0xFFF0u : 0x0FFFFFF0u;
    }
    std::uint32_t FatEntryBits() const { return kind == FatKind::Fat12 ? 12 : kind == FatKind::Fat16 ? 16 : 32; }
};

// Reads the boot sector of a FAT volume through the layout decoder, then the engine's own rules.
// `fat32Variant` chooses which engine reads it: the FAT32 one wants the jump byte 0x58, the FAT16 one 0x3C
// (FAT12 volumes carry 0x3C as well and are read by the FAT16 engine with 12-bit entries). Fields that would
// make the arithmetic meaningless are refused, each with the offset of the field in the error. The extraction
// reads the same fields without the jump-byte test (`checkJumpByte` false).
Result<FatGeometry> ParseFatBootSector(std::span<const std::byte> sector, bool fat32Variant, bool checkJumpByte = true);

}  // namespace lumacore
