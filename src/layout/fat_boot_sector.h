#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/result.h"

namespace lumacore {

// The BIOS parameter block of a FAT12/16/32 boot sector, and the FAT32 extension after it. Offsets are
// from the start of the boot sector.
namespace fat_bpb {
inline constexpr std::size_t kJump = 0x00;
inline constexpr std::size_t kBytesPerSector = 0x0B;
inline constexpr std::size_t kSectorsPerCluster = 0x0D;
inline constexpr std::size_t kReservedSectors = 0x0E;
inline constexpr std::size_t kFatCount = 0x10;
inline constexpr std::size_t kRootEntryCount = 0x11;
inline constexpr std::size_t kTotalSectors16 = 0x13;
inline constexpr std::size_t kMediaDescriptor = 0x15;
inline constexpr std::size_t kSectorsPerFat16 = 0x16;
inline constexpr std::size_t kTotalSectors32 = 0x20;
// FAT12/16: the file-system type text of the extended BPB ("FAT12   ", "FAT16   ").
inline constexpr std::size_t kFsType16 = 0x36;
// FAT32 extension.
inline constexpr std::size_t kSectorsPerFat32 = 0x24;
inline constexpr std::size_t kRootCluster = 0x2C;
inline constexpr std::size_t kFsInfoSector = 0x30;
inline constexpr std::size_t kBackupBootSector = 0x32;
inline constexpr std::size_t kFsType32 = 0x52;
// A boot sector is one 512-byte sector whatever the volume's own sector size.
inline constexpr std::size_t kSize = 512;
}  // namespace fat_bpb

// The fields as they stand; which of the 16- and 32-bit fields counts is the reader's choice (the FAT32
// engine reads only the 32-bit ones, inventories take the 16-bit value unless it is zero).
struct FatBootSector {
    std::uint8_t jump[3] = {};
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatCount = 0;
    std::uint32_t rootEntryCount = 0;
    std::uint32_t totalSectors16 = 0;
    std::uint8_t mediaDescriptor = 0;
    std::uint32_t sectorsPerFat16 = 0;
    std::uint32_t totalSectors32 = 0;
    // FAT32 extension (meaningless bytes on FAT12/16 volumes).
    std::uint32_t sectorsPerFat32 = 0;
    std::uint32_t rootCluster = 0;
    std::uint32_t fsInfoSector = 0;
    std::uint32_t backupBootSector = 0;

    std::uint32_t TotalSectors() const { return totalSectors16 != 0 ? totalSectors16 : totalSectors32; }
    std::uint32_t SectorsPerFat() const { return sectorsPerFat16 != 0 ? sectorsPerFat16 : sectorsPerFat32; }
    // Sectors of the fixed root directory region (FAT12/16; 0 on FAT32, whose root entry count is 0).
    std::uint32_t RootDirSectors() const {
        return static_cast<std::uint32_t>((std::uint64_t{rootEntryCount} * 32 + bytesPerSector - 1) /
                                          bytesPerSector);
    }
};

// The one rule every reader of a FAT boot sector shares: 512 bytes, a sector size of 512, 1024, 2048 or
// 4096 bytes and a cluster of a power of two sectors. Without these no position on the volume can be
// worked out; every other field is checked by the reader that computes with it.
Result<FatBootSector> DecodeFatBootSector(std::span<const std::byte> sector);

}  // namespace lumacore
