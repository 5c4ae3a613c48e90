#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "layout/ext_superblock.h"

namespace lumacore {

// What a volume's first sectors say it is.
enum class VolumeKind { kNone, kFat12, kFat16, kFat32, kNtfs, kExFat, kExt2, kExt3, kExt4 };

// Enough of a volume's start to tell every kind apart: the boot sector and the EXT superblock.
constexpr std::size_t kVolumeProbeBytes = kExtSuperblockOffset + kExtSuperblockSize;

// A FAT, NTFS or exFAT boot sector (512 bytes), by its signature texts; kNone otherwise. The 0x55 0xAA
// signature is not required here: the inventory names volumes whose last two bytes were overwritten.
VolumeKind IdentifyBootSector(std::span<const std::byte> sector);

// An EXT superblock (1024 bytes): EXT4 when it uses extents or 64-bit block numbers, EXT3 with a
// journal inode, EXT2 otherwise; kNone without the magic or with an impossible block size.
VolumeKind IdentifyExtSuperblock(std::span<const std::byte> superblock);
// The same for a superblock already decoded.
VolumeKind ExtKindOf(const ExtSuperblockFields& superblock);

// The first kVolumeProbeBytes of a volume (a shorter span is probed as far as it goes).
VolumeKind IdentifyVolume(std::span<const std::byte> start);

// "EXT2", "EXT3" or "EXT4" for an EXT kind, nullptr otherwise.
const char* ExtKindName(VolumeKind kind);
bool IsExtKind(VolumeKind kind);

// A volume's length in 512-byte sectors as its own boot sector (FAT, NTFS, exFAT; `bytes` = the boot
// sector) or superblock (EXT; `bytes` = the superblock) states it; 0 when the fields make no sense or the
// volume's sectors are not 512 bytes. An NTFS partition is one sector longer than its volume: the backup
// boot sector sits after it.
std::uint64_t VolumeLengthSectors(VolumeKind kind, std::span<const std::byte> bytes);

}  // namespace lumacore
