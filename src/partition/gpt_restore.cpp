#include "partition/gpt_restore.h"

#include <algorithm>
#include <random>

#include "core/crc32.h"
#include "core/size_text.h"
#include "disk/gpt_table.h"

namespace lumacore {

namespace {

constexpr std::uint64_t kSector = 512;
// An undo file keeps at most 64 sectors; a restore that would write more is refused before any write.
constexpr std::size_t kMaxGptRestoreWrites = 64;

Guid RandomGuid() {
    std::random_device random;
    Guid guid{};
    for (std::byte& b : guid) b = static_cast<std::byte>(random() & 0xFF);
    guid[7] = (guid[7] & std::byte{0x0F}) | std::byte{0x40};  // version 4 (random)
    guid[8] = (guid[8] & std::byte{0x3F}) | std::byte{0x80};  // RFC 4122 variant
    return guid;
}

// Adds the writes of an array whose sectors differ from what the disk holds at `lba`.
bool AddArrayWrites(ByteSource& disk, std::uint64_t lba, const std::vector<std::byte>& array,
                    const char* what, std::vector<SectorWrite>& writes) {
    for (std::size_t at = 0; at < array.size(); at += kSector) {
        SectorWrite write{static_cast<std::uint32_t>(lba + at / kSector), {}, what};
        std::copy(array.begin() + static_cast<std::ptrdiff_t>(at),
                  array.begin() + static_cast<std::ptrdiff_t>(std::min(array.size(), at + kSector)),
                  write.bytes.begin());
        std::array<std::byte, kSector> now{};
        if (!ReadExact(disk, std::uint64_t{write.sector} * kSector, now)) return false;
        if (now != write.bytes) writes.push_back(write);
    }
    return true;
}

}  // namespace

const char* GptTypeFor(std::string_view fsName) {
    if (fsName == "EXT2" || fsName == "EXT3" || fsName == "EXT4")
        return "0FC63DAF-8483-4772-8E79-3D69D8477DE4";
    return "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
}

RestorePlan PlanGptRestore(ByteSource& disk, std::uint64_t diskSectors, const PartitionInfo& w) {
    // Sector numbers of the writes are 32-bit, like every record's.
    if (diskSectors - 1 > 0xFFFFFFFF) return RefusedPlan(kRestoreCannotAccess);
    auto table = ReadGpt(disk, diskSectors);
    if (!table) return RefusedPlan(kRestoreCannotAccess);
    const std::uint64_t first = w.startSector;
    const std::uint64_t count = w.totalBytes / kSector;
    const std::uint64_t last = first + count - 1;
    const GptHeader& read = table->header;
    if (count == 0 || first < read.firstUsableLba || last > read.lastUsableLba)
        return RefusedPlan(kRestoreNoGap);
    for (const GptEntry& entry : table->entries) {
        if (first <= entry.lastLba && entry.firstLba <= last) return RefusedPlan(kRestoreNoGap);
    }
    // The slot: the first whose type GUID is zero.
    std::optional<std::uint32_t> slot;
    for (std::uint32_t i = 0; i < read.entryCount && !slot; ++i) {
        const auto bytes =
            std::span<const std::byte>(table->array).subspan(std::size_t{i} * read.entrySize, 16);
        if (std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; })) slot = i;
    }
    if (!slot) return RefusedPlan(kRestoreTableFull);

    GptEntry entry;
    entry.index = *slot;
    entry.typeGuid = *ParseGuid(GptTypeFor(w.FsName()));
    entry.uniqueGuid = RandomGuid();
    entry.firstLba = first;
    entry.lastLba = last;
    entry.name = "Recovered " + w.FsName();
    std::vector<std::byte> array = table->array;
    EncodeGptEntry(entry, array, read.entrySize);

    // Both copies in the layout partitioning tools use: the primary header at 1 with its array at 2, the
    // backup header in the disk's last sector with its array just before it.
    GptHeader primary = read;
    primary.currentLba = 1;
    primary.backupLba = diskSectors - 1;
    primary.entriesLba = table->fromBackup ? 2 : read.entriesLba;
    primary.entriesCrc = Crc32(array);
    GptHeader backup = primary;
    backup.currentLba = diskSectors - 1;
    backup.backupLba = 1;
    backup.entriesLba = table->fromBackup ? read.entriesLba : diskSectors - 1 - read.ArraySectors();
    if (primary.entriesLba + read.ArraySectors() > primary.firstUsableLba ||
        backup.entriesLba <= primary.lastUsableLba) {
        return RefusedPlan(kRestoreCannotAccess);  // the arrays would overlap partitions
    }

    RestorePlan plan;
    plan.writes.push_back(SectorWrite{w.startSector, w.bootSector, "boot sector"});
    SectorWrite primaryHeader{1, {}, "primary GPT header"};
    EncodeGptHeader(primary, primaryHeader.bytes);
    plan.writes.push_back(primaryHeader);
    if (!AddArrayWrites(disk, primary.entriesLba, array, "primary GPT entry array", plan.writes) ||
        !AddArrayWrites(disk, backup.entriesLba, array, "backup GPT entry array", plan.writes)) {
        return RefusedPlan(kRestoreCannotAccess);
    }
    SectorWrite backupHeader{static_cast<std::uint32_t>(backup.currentLba), {}, "backup GPT header"};
    EncodeGptHeader(backup, backupHeader.bytes);
    plan.writes.push_back(backupHeader);
    if (plan.writes.size() > kMaxGptRestoreWrites) return RefusedPlan(kRestoreCannotAccess);

    plan.entries.push_back(Format("GPT entry %u: start %llu, %llu sectors (%s), type %s (%s), name \"%s\"",
                                  entry.index + 1, static_cast<unsigned long long>(first),
                                  static_cast<unsigned long long>(count), SizeText(count * kSector).c_str(),
                                  GptTypeFor(w.FsName()), GptTypeName(entry.typeGuid), entry.name.c_str()));
    if (table->fromBackup) plan.entries.push_back("The damaged primary GPT is rebuilt from the backup.");
    return plan;
}

}  // namespace lumacore
