// Fuzz target: every on-disk layout decoder over the same arbitrary bytes, and the readers that stand on
// them (the engines' boot-sector and superblock checks, the volume signature and length). Each decoder
// must either decode or refuse with an offset, and what it decodes must keep its rule.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/volume_signature.h"
#include "engines/ext/ext_structures.h"
#include "engines/fat/fat_boot_sector.h"
#include "engines/ntfs/ntfs_boot_sector.h"
#include "layout/ext_group_descriptor.h"
#include "layout/ext_superblock.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"
#include "layout/ntfs_record_header.h"

using namespace lumacore;

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// A refusal is "not this layout" (the offset of the magic, which may lie past short bytes) or corrupt at
// a field within the bytes, or where they end.
template <typename T>
void CheckError(const Result<T>& r, std::size_t size) {
    if (r) return;
    Check(r.error().kind == ErrorKind::Unsupported || r.error().kind == ErrorKind::Corrupt);
    if (r.error().kind == ErrorKind::Corrupt) Check(r.error().offset <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);

    const auto fat = DecodeFatBootSector(bytes);
    CheckError(fat, size);
    if (fat) {
        Check(fat->bytesPerSector >= 512 && fat->bytesPerSector <= 4096 &&
              std::has_single_bit(fat->bytesPerSector));
        Check(std::has_single_bit(fat->sectorsPerCluster));
        static_cast<void>(fat->RootDirSectors());
    }
    for (const bool fat32 : {false, true}) {
        if (auto g = ParseFatBootSector(bytes, fat32, false)) {
            Check(g->clusterCount > 0 && g->DataStartSector() < g->totalSectors);
        }
    }

    const auto ntfs = DecodeNtfsBootSector(bytes);
    CheckError(ntfs, size);
    if (ntfs) {
        Check(std::has_single_bit(ntfs->bytesPerSector) && ntfs->bytesPerSector >= 256 &&
              ntfs->bytesPerSector <= 4096);
        Check(std::has_single_bit(ntfs->clusterSize) && ntfs->clusterSize <= kNtfsMaxClusterSize);
        Check(ntfs->SectorsPerCluster() >= 1);
    }
    NtfsGeometry geometry;
    if (ParseNtfsBootSector(bytes, geometry) == kNtfsOk) static_cast<void>(geometry.ClusterCount());

    const auto record = DecodeNtfsRecordHeader(bytes);
    CheckError(record, size);
    if (record) Check(HasNtfsRecordMagic(bytes) && size >= ntfs_record::kHeaderSize);

    // The superblock both at the start of the bytes and where it lies in a volume.
    for (const std::size_t at : {std::size_t{0}, kExtSuperblockOffset}) {
        if (at > size) continue;
        const auto rest = bytes.subspan(at);
        const auto sb = DecodeExtSuperblock(rest);
        CheckError(sb, rest.size());
        if (sb) Check(sb->blockSize >= 1024 && sb->blockSize <= (64u << 10));
        if (auto engine = ParseExtSuperblock(rest)) Check(engine->groupCount > 0);
        static_cast<void>(IdentifyExtSuperblock(rest));
    }
    for (const bool wide : {false, true}) CheckError(DecodeExtGroupDescriptor(bytes, wide), size);

    const VolumeKind kind = IdentifyVolume(bytes);
    static_cast<void>(VolumeLengthSectors(kind, bytes));
    for (const VolumeKind k : {VolumeKind::kFat16, VolumeKind::kNtfs, VolumeKind::kExt4}) {
        static_cast<void>(VolumeLengthSectors(k, bytes));
    }
    return 0;
}
