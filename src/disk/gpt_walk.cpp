#include "disk/gpt_walk.h"

#include <array>

#include "disk/table_entry_naming.h"

namespace lumacore {

namespace {

constexpr std::uint64_t kSector = 512;

void AddGap(PartitionList& list, int diskNumber, std::uint64_t first, std::uint64_t end) {
    if (first >= end || first > kMaxRecordSector) return;
    PartitionInfo gap = GapRecord(diskNumber);
    gap.kind = PartitionInfo::kKindPrimary;
    gap.tableSector = gap.startSector = static_cast<std::uint32_t>(first);
    gap.totalBytes = gap.freeBytes = (std::min(end, kMaxRecordSector + 1) - first) * kSector;
    list.push_back(gap);
}

}  // namespace

const char* TableEntryName(VolumeKind kind) {
    switch (kind) {
        case VolumeKind::kFat12:
        case VolumeKind::kFat16:
            return "#FAT16#";  // one engine reads both
        case VolumeKind::kFat32:
            return "#FAT32#";
        case VolumeKind::kNtfs:
            return "#NTFS#";
        case VolumeKind::kExFat:
            return "exFAT";
        default:
            return ExtKindName(kind);
    }
}

Result<GptTable> WalkGpt(ByteSource& disk, int diskNumber, std::uint64_t diskSize, PartitionList& list) {
    auto table = ReadGpt(disk, diskSize / kSector);
    if (!table) return table.error();
    std::uint64_t cursor = table->header.firstUsableLba;
    for (const GptEntry& entry : table->entries) {
        if (entry.lastLba > kMaxRecordSector) break;  // entries are in start order
        if (entry.firstLba < cursor) continue;        // overlaps the previous entry: not a usable record
        AddGap(list, diskNumber, cursor, entry.firstLba);
        cursor = entry.lastLba + 1;

        PartitionInfo record;
        record.diskNumber = diskNumber;
        record.kind = PartitionInfo::kKindPrimary;
        record.tableSector = record.startSector = static_cast<std::uint32_t>(entry.firstLba);
        record.totalBytes = (entry.lastLba - entry.firstLba + 1) * kSector;
        record.typeCode = kGptRecordTypeCode;
        std::array<std::byte, kVolumeProbeBytes> start{};
        auto read = disk.ReadAt(entry.firstLba * kSector, start);
        if (!read) return read.error();
        std::copy(start.begin(), start.begin() + record.bootSector.size(), record.bootSector.begin());
        const VolumeKind kind = *read == start.size() ? IdentifyVolume(start) : VolumeKind::kNone;
        if (IsExtKind(kind)) {
            if (!ProbeExt(disk, record))
                return Error::Io("cannot read the EXT superblock", 0, entry.firstLba * kSector);
        } else {
            const char* name = TableEntryName(kind);
            record.SetFsName(name != nullptr ? name : GptTypeName(entry.typeGuid));
            SetTableEntryDefaults(record);
        }
        // The GPT name tells the user which partition this is when its file system has no label.
        if (!entry.name.empty() && (record.VolumeLabel().empty() || record.VolumeLabel() == "Unknown")) {
            record.SetVolumeLabel(entry.name);
        }
        list.push_back(record);
    }
    AddGap(list, diskNumber, cursor, table->header.lastUsableLba + 1);
    return table;
}

}  // namespace lumacore
