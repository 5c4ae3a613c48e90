#include "engines/fat/fat_boot_sector.h"

#include "core/byte_reader.h"
#include "layout/fat_boot_sector.h"

namespace lumacore {

Result<FatGeometry> ParseFatBootSector(std::span<const std::byte> sector, bool fat32Variant, bool checkJumpByte) {
    // The jump byte says which engine the volume is for, before any field is judged.
    const ByteReader r(sector);
    if (checkJumpByte && r.has(0, fat_bpb::kSize) &&
        r.u8(fat_bpb::kJump + 1) != (fat32Variant ? 0x58 : 0x3C)) {
        return Error::Make(ErrorKind::Unsupported, fat32Variant ? "not a FAT32 boot sector" : "not a FAT16 boot sector");
    }
    auto decoded = DecodeFatBootSector(sector);
    if (!decoded) return decoded.error();
    const FatBootSector& b = *decoded;
    // Each engine reads the fields of its own variant only: the FAT32 one the 32-bit counts, the FAT16
    // one the 16-bit sectors per FAT and the root directory region.
    FatGeometry g;
    g.bytesPerSector = b.bytesPerSector;
    g.sectorsPerCluster = b.sectorsPerCluster;
    g.reservedSectors = b.reservedSectors;
    g.fatCount = b.fatCount;
    if (fat32Variant) {
        g.totalSectors = b.totalSectors32;
        g.sectorsPerFat = b.sectorsPerFat32;
        g.rootCluster = b.rootCluster;
    } else {
        g.rootEntryCount = b.rootEntryCount;
        g.totalSectors = b.TotalSectors();
        g.sectorsPerFat = b.sectorsPerFat16;
    }

    const std::uint32_t bps = g.bytesPerSector;
    if (g.reservedSectors == 0) return Error::Corrupt("bad FAT layout", fat_bpb::kReservedSectors);
    if (g.fatCount == 0) return Error::Corrupt("bad FAT layout", fat_bpb::kFatCount);
    if (g.sectorsPerFat == 0) {
        return Error::Corrupt("bad FAT layout",
                              fat32Variant ? fat_bpb::kSectorsPerFat32 : fat_bpb::kSectorsPerFat16);
    }
    g.rootDirSectors = b.RootDirSectors();
    if (!fat32Variant && g.rootEntryCount == 0) {
        return Error::Corrupt("FAT16 volume without a root directory", fat_bpb::kRootEntryCount);
    }

    const std::uint64_t dataStart = std::uint64_t{g.reservedSectors} + std::uint64_t{g.fatCount} * g.sectorsPerFat +
                                    g.rootDirSectors;
    if (dataStart >= g.totalSectors)
        return Error::Corrupt("the FATs fill the whole volume", fat_bpb::kTotalSectors32);
    g.clusterCount = static_cast<std::uint32_t>((g.totalSectors - dataStart) / g.sectorsPerCluster);
    if (g.clusterCount == 0) return Error::Corrupt("no data clusters", fat_bpb::kTotalSectors32);

    if (fat32Variant) {
        g.kind = FatKind::Fat32;
        if (!g.IsDataCluster(g.rootCluster))
            return Error::Corrupt("root cluster outside the volume", fat_bpb::kRootCluster);
    } else {
        // The cluster count alone decides between 12- and 16-bit entries.
        g.kind = g.clusterCount < 4085 ? FatKind::Fat12 : FatKind::Fat16;
    }
    // Clusters without a FAT entry cannot be addressed: a FAT shorter than the volume bounds the count.
    const std::uint64_t fatEntries = std::uint64_t{g.sectorsPerFat} * bps * 8 / g.FatEntryBits();
    if (fatEntries <= 2)
        return Error::Corrupt("FAT too small",
                              fat32Variant ? fat_bpb::kSectorsPerFat32 : fat_bpb::kSectorsPerFat16);
    if (g.clusterCount > fatEntries - 2) g.clusterCount = static_cast<std::uint32_t>(fatEntries - 2);
    return g;
}

}  // namespace lumacore
