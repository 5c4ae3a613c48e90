#include "engines/fat/fat_boot_sector.h"

#include <bit>

#include "core/byte_reader.h"

namespace lumacore {

Result<FatGeometry> ParseFatBootSector(std::span<const std::byte> sector, bool fat32Variant, bool checkJumpByte) {
    const ByteReader r(sector);
    if (!r.has(0, 512)) return Error::Corrupt("boot sector shorter than 512 bytes");
    if (checkJumpByte && r.u8(1) != (fat32Variant ? 0x58 : 0x3C)) {
        return Error::Make(ErrorKind::Unsupported, fat32Variant ? "not a FAT32 boot sector" : "not a FAT16 boot sector");
    }
    FatGeometry g;
    g.bytesPerSector = r.u16le(0x0B);
    g.sectorsPerCluster = r.u8(0x0D);
    g.reservedSectors = r.u16le(0x0E);
    g.fatCount = r.u8(0x10);
    if (fat32Variant) {
        g.totalSectors = r.u32le(0x20);
        g.sectorsPerFat = r.u32le(0x24);
        g.rootCluster = r.u32le(0x2C);
    } else {
        g.rootEntryCount = r.u16le(0x11);
        g.totalSectors = r.u16le(0x13) != 0 ? r.u16le(0x13) : r.u32le(0x20);
        g.sectorsPerFat = r.u16le(0x16);
    }

    const std::uint32_t bps = g.bytesPerSector;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) return Error::Corrupt("bad bytes per sector");
    if (g.sectorsPerCluster == 0 || !std::has_single_bit(g.sectorsPerCluster)) {
        return Error::Corrupt("bad sectors per cluster");
    }
    if (g.reservedSectors == 0 || g.fatCount == 0 || g.sectorsPerFat == 0) return Error::Corrupt("bad FAT layout");
    g.rootDirSectors = static_cast<std::uint32_t>((std::uint64_t{g.rootEntryCount} * 32 + bps - 1) / bps);
    if (!fat32Variant && g.rootEntryCount == 0) return Error::Corrupt("FAT16 volume without a root directory");

    const std::uint64_t dataStart = std::uint64_t{g.reservedSectors} + std::uint64_t{g.fatCount} * g.sectorsPerFat +
                                    g.rootDirSectors;
    if (dataStart >= g.totalSectors) return Error::Corrupt("the FATs fill the whole volume");
    g.clusterCount = static_cast<std::uint32_t>((g.totalSectors - dataStart) / g.sectorsPerCluster);
    if (g.clusterCount == 0) return Error::Corrupt("no data clusters");

    if (fat32Variant) {
        g.kind = FatKind::Fat32;
        if (!g.IsDataCluster(g.rootCluster)) return Error::Corrupt("root cluster outside the volume");
    } else {
        // The cluster count alone decides between 12- and 16-bit entries.
        g.kind = g.clusterCount < 4085 ? FatKind::Fat12 : FatKind::Fat16;
    }
    // Clusters without a FAT entry cannot be addressed: a FAT shorter than the volume bounds the count.
    const std::uint64_t fatEntries = std::uint64_t{g.sectorsPerFat} * bps * 8 / g.FatEntryBits();
    if (fatEntries <= 2) return Error::Corrupt("FAT too small");
    if (g.clusterCount > fatEntries - 2) g.clusterCount = static_cast<std::uint32_t>(fatEntries - 2);
    return g;
}

}  // namespace lumacore
