#include "disk/volume_signature.h"

#include <algorithm>

#include "core/byte_reader.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"

namespace lumacore {

namespace {

// exFAT describes sectors of 512 bytes to 4 KiB and clusters of at most 32 MiB.
constexpr std::uint32_t kExFatMinSectorShift = 9;
constexpr std::uint32_t kExFatMaxSectorShift = 12;
constexpr std::uint32_t kExFatMaxClusterShift = 25;

}  // namespace

VolumeKind IdentifyBootSector(std::span<const std::byte> sector) {
    const ByteReader r(sector);
    if (r.matches(ntfs_boot::kOemName, "NTFS    ")) return VolumeKind::kNtfs;
    if (r.matches(3, "EXFAT   ")) return VolumeKind::kExFat;
    const bool jump = r.u8(0) == 0xEB || r.u8(0) == 0xE9;
    if (jump && r.matches(fat_bpb::kFsType32, "FAT32")) return VolumeKind::kFat32;
    if (jump && r.matches(fat_bpb::kFsType16, "FAT12")) return VolumeKind::kFat12;
    if (jump && r.matches(fat_bpb::kFsType16, "FAT1")) return VolumeKind::kFat16;
    return VolumeKind::kNone;
}

VolumeKind IdentifyExtSuperblock(std::span<const std::byte> superblock) {
    const auto sb = DecodeExtSuperblock(superblock);
    return sb ? ExtKindOf(*sb) : VolumeKind::kNone;
}

VolumeKind ExtKindOf(const ExtSuperblockFields& superblock) {
    if ((superblock.featureIncompat & (kExtIncompatExtents | kExtIncompat64Bit)) != 0)
        return VolumeKind::kExt4;
    return superblock.journalInode != 0 ? VolumeKind::kExt3 : VolumeKind::kExt2;
}

VolumeKind IdentifyVolume(std::span<const std::byte> start) {
    const VolumeKind boot = IdentifyBootSector(start.first(std::min<std::size_t>(start.size(), 512)));
    if (boot != VolumeKind::kNone) return boot;
    if (start.size() < kVolumeProbeBytes) return VolumeKind::kNone;
    return IdentifyExtSuperblock(start.subspan(kExtSuperblockOffset, kExtSuperblockSize));
}

bool IsExtKind(VolumeKind kind) {
    return kind == VolumeKind::kExt2 || kind == VolumeKind::kExt3 || kind == VolumeKind::kExt4;
}

const char* ExtKindName(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::kExt2:
            return "EXT2";
        case VolumeKind::kExt3:
            return "EXT3";
        case VolumeKind::kExt4:
            return "EXT4";
        default:
            return nullptr;
    }
}

std::uint64_t VolumeLengthSectors(VolumeKind kind, std::span<const std::byte> bytes) {
    const ByteReader r(bytes);
    switch (kind) {
        case VolumeKind::kNtfs: {
            // Lengths are counted in 512-byte sectors: a volume of other sectors is not measured here.
            const auto boot = DecodeNtfsBootSector(bytes);
            if (!boot || boot->bytesPerSector != 512) return 0;
            const std::uint64_t sectors = boot->totalSectors;
            return sectors == 0 || sectors == UINT64_MAX ? 0 : sectors + 1;
        }
        case VolumeKind::kFat12:
        case VolumeKind::kFat16:
        case VolumeKind::kFat32: {
            const auto boot = DecodeFatBootSector(bytes);
            if (!boot || boot->bytesPerSector != 512) return 0;
            return boot->TotalSectors();
        }
        case VolumeKind::kExFat: {
            const std::uint32_t sectorShift = r.u8(0x6C);
            if (sectorShift < kExFatMinSectorShift || sectorShift > kExFatMaxSectorShift ||
                sectorShift + r.u8(0x6D) > kExFatMaxClusterShift) {
                return 0;
            }
            const std::uint64_t length = r.u64le(0x48);
            const std::uint32_t scale = sectorShift - kExFatMinSectorShift;
            return length > (UINT64_MAX >> scale) ? 0 : length << scale;
        }
        case VolumeKind::kExt2:
        case VolumeKind::kExt3:
        case VolumeKind::kExt4: {
            const auto sb = DecodeExtSuperblock(bytes);
            if (!sb) return 0;
            const std::uint32_t sectorsPerBlock = sb->blockSize / 512;
            return sb->blocksCount > UINT64_MAX / sectorsPerBlock ? 0 : sb->blocksCount * sectorsPerBlock;
        }
        case VolumeKind::kNone:
            return 0;
    }
    return 0;
}

}  // namespace lumacore
