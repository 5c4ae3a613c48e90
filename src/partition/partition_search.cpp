#include "partition/partition_search.h"

#include <algorithm>
#include <array>
#include <set>

#include "core/byte_reader.h"
#include "disk/logical_gaps.h"
#include "disk/volume_signature.h"
#include "layout/ext_superblock.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kSector = 512;
// Gaps are read in blocks of this many sectors.
constexpr std::uint32_t kBlockSectors = 2048;

std::uint8_t TypeFor(const std::string& name, std::uint8_t gapKind) {
    if (name == "FAT32") return gapKind == PartitionInfo::kKindLogical ? 0x0B : 0x0C;
    if (name == "NTFS" || name == "exFAT") return 0x07;
    if (name == "EXT2" || name == "EXT3" || name == "EXT4") return 0x83;
    return 0x06;
}

}  // namespace

std::uint32_t LastSectorOf(const PartitionInfo& candidate) {
    return candidate.EndSector() - 1;
}

PartitionList RecordsOf(const CDiskInventory& inventory, int diskNumber) {
    PartitionList records;
    for (const PartitionInfo& record : inventory.volumes) {
        if (record.diskNumber == diskNumber) records.push_back(record);
    }
    if (!records.empty()) return records;
    for (const DiskInfo& disk : inventory.disks) {
        if (disk.diskNumber != diskNumber || disk.sizeBytes <= std::uint64_t{63} * kSector) continue;
        PartitionInfo gap;
        gap.diskNumber = diskNumber;
        gap.driveLetter = PartitionInfo::kNoLetter;
        gap.kind = PartitionInfo::kKindPrimary;
        gap.tableSector = gap.startSector = 63;
        gap.SetFsName("Deleted");
        gap.SetVolumeLabel("Unknown");
        gap.sectorsPerCluster = 8;
        gap.bytesPerSector = kSector;
        // Sector numbers are 32-bit: a table can describe no more than 2^32 sectors.
        gap.totalBytes = gap.freeBytes = std::min<std::uint64_t>(disk.sizeBytes, std::uint64_t{0xFFFFFFFF} * kSector) - 63 * kSector;
        records.push_back(gap);
    }
    return records;
}

const char* LostPartitionKind(std::span<const std::byte> sector) {
    const ByteReader r(sector);
    if (r.u8(0) != 0xEB || r.u8(510) != 0x55 || r.u8(511) != 0xAA) return nullptr;
    if (r.matches(fat_bpb::kFsType32, "FAT3")) return "FAT32";
    if (r.matches(ntfs_boot::kOemName, "NTFS")) return "NTFS";
    if (r.matches(fat_bpb::kFsType16, "FAT1")) return "FAT16";
    if (IdentifyBootSector(sector) == VolumeKind::kExFat) return "exFAT";
    return nullptr;
}

namespace {

// Names a gap candidate by what stands at its first sector (its boot sector already read): a FAT, NTFS
// or exFAT boot sector, or the primary EXT superblock 1024 bytes in.
bool NameGapCandidate(ByteSource& disk, PartitionInfo& candidate) {
    const char* kind = LostPartitionKind(candidate.bootSector);
    std::array<std::byte, kExtSuperblockSize> superblock{};
    if (kind == nullptr &&
        ReadExact(disk, std::uint64_t{candidate.startSector} * kSector + kExtSuperblockOffset, superblock)) {
        // Only the primary superblock (group 0) names the volume it starts.
        if (const auto sb = DecodeExtSuperblock(superblock); sb && sb->blockGroupNumber == 0) {
            kind = ExtKindName(ExtKindOf(*sb));
        }
    }
    if (kind == nullptr) return false;
    candidate.SetFsName(kind);
    candidate.typeCode = TypeFor(kind, candidate.kind);
    return true;
}

}  // namespace

Result<void> AutoScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                      PartitionList& candidates) {
    auto disk = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    candidates.clear();
    for (const PartitionInfo& record : RecordsOf(inventory, diskNumber)) {
        candidates.push_back(record);
        if (record.FsName() != "Deleted") continue;
        PartitionInfo& candidate = candidates.back();
        if (auto read = ReadExact(**disk, std::uint64_t{candidate.startSector} * kSector, candidate.bootSector); !read) {
            return read.error();
        }
        NameGapCandidate(**disk, candidate);
    }
    return {};
}

namespace {

// The name a candidate of this kind gets (the FAT16 engine reads FAT12 volumes too).
const char* LostVolumeName(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::kFat12:
        case VolumeKind::kFat16: return "FAT16";
        case VolumeKind::kFat32: return "FAT32";
        case VolumeKind::kNtfs: return "NTFS";
        case VolumeKind::kExFat: return "exFAT";
        default: return ExtKindName(kind);
    }
}

// exFAT keeps a copy of its boot region 12 sectors into the volume.
constexpr std::uint32_t kExFatBackupBootSector = 12;
// FAT32 keeps its backup boot sector within the reserved sectors, at 6 by every formatter's default.
constexpr std::uint32_t kMaxFatBackupBootSector = 32;

// A FAT boot sector found where its volume's backup copy lies is only believed when the first FAT
// follows its reserved sectors from the start that implies: the media byte and two 0xFF bytes.
bool FatFollows(ByteSource& disk, std::uint64_t start, const FatBootSector& boot) {
    std::array<std::byte, kSector> fat{};
    if (!ReadExact(disk, (start + boot.reservedSectors) * kSector, fat)) return false;
    return std::to_integer<std::uint8_t>(fat[0]) == boot.mediaDescriptor && fat[1] == std::byte{0xFF} &&
           fat[2] == std::byte{0xFF};
}

// Every NTFS boot sector could be a volume's backup copy; a primary is told by its own copy standing in
// the sector after its volume.
bool IsNtfsPrimary(ByteSource& disk, std::uint64_t sector, std::uint64_t length, std::span<const std::byte> boot) {
    std::array<std::byte, kSector> copy{};
    return ReadExact(disk, (sector + length - 1) * kSector, copy) && std::equal(copy.begin(), copy.end(), boot.begin());
}

}  // namespace

Result<PartitionList> DeepScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                               ProgressFields& progress, const StopToken& stop) {
    auto disk = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    const PartitionList records = RecordsOf(inventory, diskNumber);
    std::vector<const PartitionInfo*> gaps;
    std::uint64_t total = 0;
    for (const PartitionInfo& record : records) {
        if (record.FsName() != "Deleted") continue;
        gaps.push_back(&record);
        total += record.EndSector() - record.tableSector;
    }
    progress.Start("Searching lost partitions ...", static_cast<std::int64_t>(total));

    PartitionList found;
    std::set<std::uint32_t> starts;
    std::vector<std::byte> block;
    for (const PartitionInfo* gap : gaps) {
        const std::uint32_t gapStart = gap->tableSector;
        const std::uint32_t gapEnd = gap->EndSector();
        const auto aligned = [&](std::uint64_t s) { return s % 63 == 0 || s % 2048 == 0 || s == gap->startSector; };
        auto consider = [&](std::uint64_t start, VolumeKind kind, std::uint64_t sectors, std::span<const std::byte> boot) {
            if (sectors == 0 || start < gapStart || start + sectors > gapEnd) return;
            // A logical partition needs room for its extended boot record one track before it.
            if (gap->kind == PartitionInfo::kKindLogical && start < std::uint64_t{gapStart} + 63) return;
            if (!starts.insert(static_cast<std::uint32_t>(start)).second) return;
            PartitionInfo candidate = *gap;
            candidate.SetFsName(LostVolumeName(kind));
            candidate.typeCode = TypeFor(candidate.FsName(), gap->kind);
            candidate.startSector = static_cast<std::uint32_t>(start);
            candidate.totalBytes = candidate.freeBytes = sectors * kSector;
            std::copy(boot.begin(), boot.begin() + kSector, candidate.bootSector.begin());
            candidate.tableSector = gap->kind == PartitionInfo::kKindLogical ? candidate.startSector - 63
                                                                             : candidate.startSector;
            found.push_back(candidate);
        };
        for (std::uint32_t at = gapStart; at < gapEnd && !stop.StopRequested();) {
            const std::uint32_t count = std::min(kBlockSectors, gapEnd - at);
            // One sector more than the block: an EXT superblock may straddle the block's end.
            block.resize((std::size_t{count} + 1) * kSector);
            auto got = (*disk)->ReadAt(std::uint64_t{at} * kSector, block);
            if (!got) return got.error();
            const std::uint32_t readable = static_cast<std::uint32_t>(*got / kSector);
            for (std::uint32_t k = 0; k < std::min(count, readable); ++k) {
                const std::uint64_t sector = std::uint64_t{at} + k;
                const auto bytes = std::span<const std::byte>(block).subspan(std::size_t{k} * kSector, kSector);
                if (LostPartitionKind(bytes) != nullptr) {
                    const VolumeKind kind = IdentifyBootSector(bytes);
                    const std::uint64_t length = VolumeLengthSectors(kind, bytes);
                    if (aligned(sector)) consider(sector, kind, length, bytes);
                    // Backup boot sectors stand for a volume whose own first sector was overwritten. NTFS
                    // keeps its copy in the sector after the volume, so it began its length before.
                    if (kind == VolumeKind::kNtfs && length > 0 && length - 1 <= sector &&
                        !IsNtfsPrimary(**disk, sector, length, bytes)) {
                        consider(sector - (length - 1), kind, length, bytes);
                    }
                    if (kind == VolumeKind::kFat32) {
                        const auto boot = DecodeFatBootSector(bytes);
                        const std::uint32_t fatBackup = boot ? boot->backupBootSector : 0;
                        if (fatBackup > 0 && fatBackup <= kMaxFatBackupBootSector && sector >= fatBackup &&
                            FatFollows(**disk, sector - fatBackup, *boot)) {
                            consider(sector - fatBackup, kind, length, bytes);
                        }
                    }
                    if (kind == VolumeKind::kExFat && sector >= kExFatBackupBootSector && !aligned(sector) &&
                        aligned(sector - kExFatBackupBootSector)) {
                        consider(sector - kExFatBackupBootSector, kind, length, bytes);
                    }
                }
                // An EXT volume is told by the superblock 1024 bytes into it (the primary copy: group 0).
                if (k + 1 < readable && sector >= 2 && aligned(sector - 2)) {
                    const auto superblock =
                        std::span<const std::byte>(block).subspan(std::size_t{k} * kSector, 2 * kSector);
                    const auto sb = DecodeExtSuperblock(superblock);
                    if (sb && sb->blockGroupNumber == 0) {
                        const VolumeKind kind = ExtKindOf(*sb);
                        std::array<std::byte, kSector> first{};
                        if (ReadExact(**disk, (sector - 2) * kSector, first)) {
                            consider(sector - 2, kind, VolumeLengthSectors(kind, superblock), first);
                        }
                    }
                }
            }
            progress.AddDone(count);
            if (readable < count) break;  // the disk ends here
            at += count;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const PartitionInfo& a, const PartitionInfo& b) { return a.startSector < b.startSector; });
    return found;
}

}  // namespace lumacore
