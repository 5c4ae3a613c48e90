// The walk of a disk's master boot record and chain of extended boot records.
#include <array>
#include <set>

#include "core/byte_reader.h"
#include "disk/disk_inventory.h"
#include "disk/gpt_walk.h"
#include "disk/logical_gaps.h"
#include "disk/table_entry_naming.h"
#include "disk/volume_signature.h"
#include "disk/whole_volume_probe.h"
#include "layout/ext_superblock.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"

namespace lumacore {

namespace {

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kFirstEntryOffset = 0x1BE;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kDefaultSectorsPerCluster = 8;
// Logical partitions start one track after their extended boot record; gaps inside the extended
// partition are listed from there.
constexpr std::uint32_t kTrackSectors = 63;

using Sector = std::array<std::byte, kSectorSize>;

struct TableEntry {
    std::uint8_t type = 0;
    std::uint32_t start = 0;
    std::uint32_t count = 0;
};

TableEntry EntryAt(const Sector& sector, int index) {
    ByteReader r(sector);
    const std::size_t at = kFirstEntryOffset + static_cast<std::size_t>(index) * kEntrySize;
    return TableEntry{r.u8(at + 4), r.u32le(at + 8), r.u32le(at + 12)};
}

bool ReadSector(ByteSource& disk, std::uint32_t sector, std::span<std::byte> out) {
    return static_cast<bool>(ReadExact(disk, std::uint64_t{sector} * kSectorSize, out));
}

// Linux fdisk and sfdisk (and older systems) write 0x05, large-disk tools 0x0F, Linux 0x85: all three
// open a chain of extended boot records.
bool IsExtendedContainer(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

}  // namespace

void SetTableEntryDefaults(PartitionInfo& record) {
    record.driveLetter = PartitionInfo::kNoLetter;
    record.SetVolumeLabel("Unknown");
    record.sectorsPerCluster = kDefaultSectorsPerCluster;
    record.bytesPerSector = kSectorSize;
    record.freeBytes = record.totalBytes;
}

// Names an EXT partition from its superblock. Fails only when the superblock cannot be read.
bool ProbeExt(ByteSource& disk, PartitionInfo& record) {
    std::array<std::byte, kExtSuperblockSize> superblock{};
    if (!ReadExact(disk, std::uint64_t{record.startSector} * kSectorSize + kExtSuperblockOffset,
                   superblock)) {
        return false;
    }
    const auto sb = DecodeExtSuperblock(superblock);
    if (!sb) {
        record.SetFsName("EXTX");
        SetTableEntryDefaults(record);
        return true;
    }
    record.SetFsName(ExtKindName(ExtKindOf(*sb)));
    record.SetVolumeLabel(sb->label);
    // The inventory's record keeps the block size as its "sector" and a group's blocks as its "cluster".
    record.sectorsPerCluster = sb->blocksPerGroup;
    record.bytesPerSector = sb->blockSize;
    record.freeBytes = sb->freeBlocksCount * record.bytesPerSector;
    record.driveLetter = PartitionInfo::kNoLetter;
    return true;
}

namespace {

// Names a table entry by its type code (extended containers are handled by the caller).
bool NameByType(ByteSource& disk, PartitionInfo& record) {
    switch (record.typeCode) {
        case 0x06: record.SetFsName("#FAT16#"); break;
        case 0x07: record.SetFsName("#NTFS#"); break;
        case 0x0B:
        case 0x0C: record.SetFsName("#FAT32#"); break;
        case 0x82: record.SetFsName("SWAP"); break;
        case 0x83: return ProbeExt(disk, record);
        default: record.SetFsName("Unknown"); break;
    }
    SetTableEntryDefaults(record);
    return true;
}

bool LooksLikeBootSector(const Sector& sector) {
    const ByteReader r(sector);
    return (r.u8(fat_bpb::kJump) == 0xEB && r.matches(fat_bpb::kFsType32, "FAT3")) ||
           r.matches(ntfs_boot::kOemName, "NTFS") || r.matches(fat_bpb::kFsType16, "FAT1");
}

bool HasNoTableEntries(const Sector& sector) {
    for (int index = 0; index < 4; ++index) {
        if (EntryAt(sector, index).type != 0) return false;
    }
    return true;
}

}  // namespace

PartitionInfo GapRecord(int diskNumber) {
    PartitionInfo gap;
    gap.diskNumber = diskNumber;
    gap.driveLetter = PartitionInfo::kNoLetter;
    gap.SetFsName("Deleted");
    gap.SetVolumeLabel("Unknown");
    gap.sectorsPerCluster = kDefaultSectorsPerCluster;
    gap.bytesPerSector = kSectorSize;
    return gap;
}

namespace {

// Places a gap that begins at `end`: inside the extended partition it starts a track later.
void PlaceGap(PartitionInfo& gap, std::uint32_t end, std::uint32_t extStart, std::uint32_t extCount) {
    gap.tableSector = end;
    const std::uint32_t extEnd = extStart + extCount;  // wraps like the 32-bit sum it is
    if (extStart <= end && end <= extEnd) {
        gap.kind = PartitionInfo::kKindLogical;
        gap.extendedStart = extStart;
        gap.startSector = end + kTrackSectors;
    } else {
        gap.kind = PartitionInfo::kKindPrimary;
        gap.extendedStart = 0;
        gap.startSector = end;
    }
}

void InsertGaps(PartitionList& list, int diskNumber, std::uint64_t diskSize, std::uint32_t extStart,
                std::uint32_t extCount) {
    if (list.empty()) return;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        const PartitionInfo& previous = list[i];
        const std::uint32_t end = static_cast<std::uint32_t>(previous.startSector + (previous.totalBytes >> 9));
        const std::uint32_t next = list[i + 1].tableSector;
        if (next <= end) continue;
        PartitionInfo gap = GapRecord(diskNumber);
        PlaceGap(gap, end, extStart, extCount);
        // A gap inside the extended partition that is shorter than a track has no room for a partition;
        // its length would wrap around to terabytes.
        if (gap.startSector >= next) continue;
        gap.totalBytes = gap.freeBytes = std::uint64_t{next - gap.startSector} * kSectorSize;
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(i) + 1, gap);
        ++i;  // go on from the record after the gap
    }

    const PartitionInfo first = list.front();
    if (first.startSector > kTrackSectors && first.tableSector > kTrackSectors) {
        PartitionInfo gap = GapRecord(diskNumber);
        gap.kind = PartitionInfo::kKindPrimary;
        gap.tableSector = gap.startSector = kTrackSectors;
        gap.totalBytes = gap.freeBytes = std::uint64_t{first.tableSector - kTrackSectors} * kSectorSize;
        list.insert(list.begin(), gap);
    }

    const PartitionInfo last = list.back();
    if (std::uint64_t{last.startSector} * kSectorSize + last.totalBytes < diskSize) {
        const std::uint32_t end = static_cast<std::uint32_t>(last.startSector + (last.totalBytes >> 9));
        PartitionInfo gap = GapRecord(diskNumber);
        PlaceGap(gap, end, extStart, extCount);
        const std::uint64_t gapStartByte = std::uint64_t{gap.startSector} * kSectorSize;
        if (gapStartByte < diskSize) {
            gap.totalBytes = gap.freeBytes = diskSize - gapStartByte;
            list.push_back(gap);
        }
    }
}

}  // namespace

bool CDiskInventory::WalkExtendedChain(ByteSource& disk, std::uint32_t extendedStart, int diskNumber,
                                       PartitionList& list) {
    std::set<std::uint32_t> visited;
    std::uint32_t ebr = extendedStart;
    for (int length = 0; length < kMaxExtendedChainLength && visited.insert(ebr).second; ++length) {
        SetLastEbrSector(diskNumber, ebr);
        Sector sector{};
        if (!ReadSector(disk, ebr, sector)) return false;
        TableEntry data = EntryAt(sector, 0);
        TableEntry link = EntryAt(sector, 1);
        if (data.type == 0x05) std::swap(data, link);

        if (data.count != 0) {
            PartitionInfo record;
            record.diskNumber = diskNumber;
            record.kind = PartitionInfo::kKindLogical;
            record.tableSector = ebr;
            record.extendedStart = extendedStart;
            record.startSector = ebr + data.start;
            record.totalBytes = std::uint64_t{data.count} * kSectorSize;
            record.typeCode = data.type;
            if (!ReadSector(disk, record.startSector, record.bootSector)) return false;
            if (!NameByType(disk, record)) return false;
            InsertSorted(list, record);
        }
        if (link.type != 0x05) return true;
        ebr = extendedStart + link.start;  // link starts count from the extended partition's first sector
    }
    return true;  // the chain looped back or ran absurdly long: keep what was found
}

bool CDiskInventory::ReadPartitionTable(int diskNumber, PartitionList& list) {
    auto opened = devices_.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!opened) return false;
    BlockDevice& disk = **opened;
    const std::uint64_t diskSize = QueryDiskSize(diskNumber);
    if (diskSize == 0) return false;

    Sector mbr{};
    if (!ReadSector(disk, 0, mbr)) return false;
    if (HasProtectiveEntry(mbr)) {
        auto gpt = WalkGpt(disk, diskNumber, diskSize, list);
        NoteGpt(diskNumber, gpt);
        // With both GPT copies damaged the master boot record is all there is to list.
        if (gpt || !list.empty() || gpt.error().kind != ErrorKind::Corrupt) return static_cast<bool>(gpt);
    }

    PartitionInfo whole;
    whole.diskNumber = diskNumber;
    whole.kind = PartitionInfo::kKindPrimary;
    whole.totalBytes = diskSize;
    if (LooksLikeBootSector(mbr)) {
        whole.SetFsName("Unknown");
        SetTableEntryDefaults(whole);
        list.push_back(whole);
        return true;
    }
    // A file system made on a whole disk, or a partition imaged on its own, has no table in sector 0
    // (an empty boot block, boot code, or old bytes) and its superblock or boot sector at the start.
    if (HasNoTableEntries(mbr) || !LooksLikePartitionTable(mbr, diskSize / kSectorSize)) {
        auto found = ProbeWholeVolume(disk, whole);
        if (!found) return false;
        if (*found) {
            list.push_back(whole);
            return true;
        }
        if (HasNoTableEntries(mbr)) return true;
    }

    std::uint32_t extStart = 0xFFFFFFFF;
    std::uint32_t extCount = 0xFFFFFFFF;
    for (int index = 0; index < 4; ++index) {
        const TableEntry entry = EntryAt(mbr, index);
        if (entry.type == 0) continue;
        PartitionInfo record;
        record.diskNumber = diskNumber;
        record.kind = PartitionInfo::kKindPrimary;
        record.tableSector = record.startSector = entry.start;
        record.totalBytes = std::uint64_t{entry.count} * kSectorSize;
        record.typeCode = entry.type;
        if (!ReadSector(disk, entry.start, record.bootSector)) return false;
        if (IsExtendedContainer(entry.type)) {
            extStart = entry.start;
            extCount = entry.count;
            if (!WalkExtendedChain(disk, entry.start, diskNumber, list)) return false;
            continue;  // the container itself gets no record
        }
        if (!NameByType(disk, record)) return false;
        InsertSorted(list, record);
    }

    if (extStart != 0xFFFFFFFF) InsertGapsBeforeLogicals(list, diskNumber, extStart, extCount);
    InsertGaps(list, diskNumber, diskSize, extStart, extCount);
    return true;
}

}  // namespace lumacore
