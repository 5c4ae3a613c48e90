#include "disk/volume_signature.h"

#include <algorithm>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

constexpr std::uint16_t kExtMagic = 0xEF53;
// EXT block sizes run from 1 KiB (log 0) to 64 KiB (log 6).
constexpr std::uint32_t kMaxExtLogBlockSize = 6;
constexpr std::uint32_t kExtIncompatExtents = 0x40;
constexpr std::uint32_t kExtIncompat64Bit = 0x80;
// exFAT describes sectors of 512 bytes to 4 KiB and clusters of at most 32 MiB.
constexpr std::uint32_t kExFatMinSectorShift = 9;
constexpr std::uint32_t kExFatMaxSectorShift = 12;
constexpr std::uint32_t kExFatMaxClusterShift = 25;

bool IsPowerOfTwo(std::uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

}  // namespace

VolumeKind IdentifyBootSector(std::span<const std::byte> sector) {
    const ByteReader r(sector);
    if (r.matches(3, "NTFS    ")) return VolumeKind::kNtfs;
    if (r.matches(3, "EXFAT   ")) return VolumeKind::kExFat;
    const bool jump = r.u8(0) == 0xEB || r.u8(0) == 0xE9;
    if (jump && r.matches(0x52, "FAT32")) return VolumeKind::kFat32;
    if (jump && r.matches(0x36, "FAT12")) return VolumeKind::kFat12;
    if (jump && r.matches(0x36, "FAT1")) return VolumeKind::kFat16;
    return VolumeKind::kNone;
}

VolumeKind IdentifyExtSuperblock(std::span<const std::byte> superblock) {
    const ByteReader r(superblock);
    if (!r.has(0, kExtSuperblockSize) || r.u16le(0x38) != kExtMagic || r.u32le(0x18) > kMaxExtLogBlockSize) {
        return VolumeKind::kNone;
    }
    if ((r.u32le(0x60) & (kExtIncompatExtents | kExtIncompat64Bit)) != 0) return VolumeKind::kExt4;
    return r.u32le(0xE0) != 0 ? VolumeKind::kExt3 : VolumeKind::kExt2;
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
            if (r.u16le(0x0B) != 512) return 0;
            const std::uint64_t sectors = r.u64le(0x28);
            return sectors == 0 || sectors == UINT64_MAX ? 0 : sectors + 1;
        }
        case VolumeKind::kFat12:
        case VolumeKind::kFat16:
        case VolumeKind::kFat32: {
            if (r.u16le(0x0B) != 512 || !IsPowerOfTwo(r.u8(0x0D))) return 0;
            return r.u16le(0x13) != 0 ? r.u16le(0x13) : r.u32le(0x20);
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
            if (IdentifyExtSuperblock(bytes) == VolumeKind::kNone) return 0;
            std::uint64_t blocks = r.u32le(0x04);
            if ((r.u32le(0x60) & kExtIncompat64Bit) != 0) blocks |= std::uint64_t{r.u32le(0x150)} << 32;
            const std::uint32_t sectorsPerBlock = 2u << r.u32le(0x18);
            return blocks > UINT64_MAX / sectorsPerBlock ? 0 : blocks * sectorsPerBlock;
        }
        case VolumeKind::kNone:
            return 0;
    }
    return 0;
}

}  // namespace lumacore
