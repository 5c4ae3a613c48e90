#include "layout/fat_boot_sector.h"

#include <bit>

#include "core/byte_reader.h"

namespace lumacore {

Result<FatBootSector> DecodeFatBootSector(std::span<const std::byte> sector) {
    using namespace fat_bpb;
    const ByteReader r(sector);
    if (!r.has(0, kSize)) return Error::Corrupt("boot sector shorter than 512 bytes", sector.size());
    FatBootSector b;
    for (std::size_t i = 0; i < 3; ++i) b.jump[i] = r.u8(kJump + i);
    b.bytesPerSector = r.u16le(kBytesPerSector);
    b.sectorsPerCluster = r.u8(kSectorsPerCluster);
    b.reservedSectors = r.u16le(kReservedSectors);
    b.fatCount = r.u8(kFatCount);
    b.rootEntryCount = r.u16le(kRootEntryCount);
    b.totalSectors16 = r.u16le(kTotalSectors16);
    b.mediaDescriptor = r.u8(kMediaDescriptor);
    b.sectorsPerFat16 = r.u16le(kSectorsPerFat16);
    b.totalSectors32 = r.u32le(kTotalSectors32);
    b.sectorsPerFat32 = r.u32le(kSectorsPerFat32);
    b.rootCluster = r.u32le(kRootCluster);
    b.fsInfoSector = r.u16le(kFsInfoSector);
    b.backupBootSector = r.u16le(kBackupBootSector);

    const std::uint32_t bps = b.bytesPerSector;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) {
        return Error::Corrupt("bad bytes per sector", kBytesPerSector);
    }
    if (!std::has_single_bit(b.sectorsPerCluster))
        return Error::Corrupt("bad sectors per cluster", kSectorsPerCluster);
    return b;
}

}  // namespace lumacore
