#include <gtest/gtest.h>

#include <fstream>

#include "core/byte_reader.h"
#include "partition/partition_backup.h"
#include "partition/partition_entry.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "unit/fake_device_map.h"

namespace lumacore {
namespace {

using testing::FakeDeviceMap;
using testing::PutBytes;
using testing::PutEntry;
using testing::PutU16;
using testing::PutU32;

void PutBootSector(std::vector<std::byte>& disk, std::uint32_t sector, const char* kind, std::uint32_t sectors) {
    const std::uint64_t at = std::uint64_t{sector} * 512;
    disk[at] = std::byte{0xEB};
    PutU16(disk, at + 0x0B, 512);
    disk[at + 0x0D] = std::byte{8};
    if (std::string(kind) == "NTFS") {
        PutBytes(disk, at + 3, "NTFS    ");
        PutU32(disk, at + 0x28, sectors - 1);
    } else {
        PutBytes(disk, at + 0x52, "FAT32   ");
        PutU32(disk, at + 0x20, sectors);
    }
    PutU16(disk, at + 510, 0xAA55);
}

std::vector<std::byte> Sector(const std::vector<std::byte>& disk, std::uint32_t sector) {
    return {disk.begin() + sector * 512, disk.begin() + (sector + 1) * 512};
}

TEST(PartitionEntry, ChsAddresses) {
    ChsAddress chs = LbaToChs(0);
    EXPECT_EQ(chs.head, 0);
    EXPECT_EQ(chs.sectorByte, 1);
    EXPECT_EQ(chs.cylinderByte, 0);
    chs = LbaToChs(16065 * 300 + 63 * 2 + 5);  // cylinder 300, head 2, sector 6
    EXPECT_EQ(chs.head, 2);
    EXPECT_EQ(chs.cylinderByte, 300 % 256);
    EXPECT_EQ(chs.sectorByte, (1 << 6) | 6);
    chs = LbaToChs(16450559);
    EXPECT_EQ(chs.cylinderByte, 0xFF);
    EXPECT_EQ(chs.head, 254);
    EXPECT_EQ(chs.sectorByte, 0xFF);
    chs = LbaToChs(16450560);  // past 1024 cylinders: the conventional maximum
    EXPECT_EQ(chs.cylinderByte, 0xFF);
    EXPECT_EQ(chs.head, 0xFE);
    EXPECT_EQ(chs.sectorByte, 0xFF);
}

class RestoreTest : public ::testing::Test {
protected:
    // A disk with a primary at 2048 (1000 sectors), a lost FAT32 in the primary gap after it, and an
    // extended partition at 10000 holding one logical partition and a lost NTFS after it.
    void SetUp() override {
        auto& disk = map_.AddDisk(30000, "Test Disk");
        PutEntry(disk, 0, 0, 0x07, 2048, 1000);
        PutEntry(disk, 0, 1, 0x0F, 10000, 20000);
        PutEntry(disk, 10000, 0, 0x07, 63, 937);
        PutBootSector(disk, 3048, "FAT32", 4000);        // lost, right at the primary gap's start
        PutBootSector(disk, 11063, "NTFS", 3000);        // lost, one track into the logical gap
        inventory_.Refresh();
        bytes_ = map_.disk(0).bytes.get();
    }
    PartitionList Candidates() {
        PartitionList list;
        EXPECT_TRUE(AutoScan(inventory_, map_, 0, list));
        return list;
    }
    const PartitionInfo& Find(const PartitionList& list, const char* name) {
        for (const PartitionInfo& p : list) {
            if (p.FsName() == name) return p;
        }
        ADD_FAILURE() << name;
        return list.front();
    }

    FakeDeviceMap map_;
    CDiskInventory inventory_{map_};
    std::vector<std::byte>* bytes_ = nullptr;
};

TEST_F(RestoreTest, AutoScanNamesWhatStandsAtTheStartOfEachGap) {
    const PartitionList list = Candidates();
    const PartitionInfo& fat = Find(list, "FAT32");
    EXPECT_EQ(fat.startSector, 3048u);
    EXPECT_EQ(fat.typeCode, 0x0C);  // primary gap
    const PartitionInfo& ntfs = Find(list, "NTFS");
    EXPECT_EQ(ntfs.startSector, 11063u);
    EXPECT_EQ(ntfs.kind, PartitionInfo::kKindLogical);
    // A boot sector without its 55 AA signature is not a candidate.
    (*bytes_)[3048 * 512 + 511] = std::byte{0};
    EXPECT_EQ(LostPartitionKind(Sector(*bytes_, 3048)), nullptr);
}

TEST_F(RestoreTest, PrimaryRestoreWritesBootSectorAndTheFirstFreeEntry) {
    PartitionInfo fat = Find(Candidates(), "FAT32");
    const RestorePlan plan = PlanRestore(inventory_, map_, 0, fat);
    ASSERT_EQ(plan.result, kRestoreDone);
    ASSERT_EQ(plan.writes.size(), 2u);
    EXPECT_EQ(plan.writes[0].sector, 3048u);
    EXPECT_EQ(plan.writes[1].sector, 0u);
    const ByteReader mbr(plan.writes[1].bytes);
    EXPECT_EQ(mbr.u8(0x1DE + 4), 0x0C);  // entry 2: the first whose count is 0
    EXPECT_EQ(mbr.u32le(0x1DE + 8), 3048u);
    EXPECT_EQ(mbr.u32le(0x1DE + 12), fat.totalBytes / 512);
    EXPECT_EQ(mbr.u16le(510), 0xAA55);
    // Nothing has been written yet.
    EXPECT_EQ(ByteReader(Sector(*bytes_, 0)).u8(0x1DE + 4), 0);
}

TEST_F(RestoreTest, ApplyKeepsAnUndoFileAndUndoPutsEverythingBack) {
    const std::vector<std::byte> before = *bytes_;
    PartitionInfo fat = Find(Candidates(), "FAT32");
    const RestorePlan plan = PlanRestore(inventory_, map_, 0, fat);
    const auto undo = std::filesystem::temp_directory_path() / ("lumacore-undo-test-" + std::to_string(::getpid()));
    std::filesystem::remove(undo);
    ASSERT_TRUE(ApplyRestore(map_, 0, inventory_.GetDisk(0), plan, undo));
    EXPECT_EQ(ByteReader(Sector(*bytes_, 0)).u8(0x1DE + 4), 0x0C);
    // Only the announced sectors changed.
    for (std::size_t s = 0; s < before.size() / 512; ++s) {
        if (s == 0 || s == 3048) continue;
        ASSERT_TRUE(std::equal(before.begin() + s * 512, before.begin() + (s + 1) * 512, bytes_->begin() + s * 512)) << s;
    }
    // An undo file is never overwritten.
    EXPECT_FALSE(ApplyRestore(map_, 0, inventory_.GetDisk(0), plan, undo));

    DiskInfo other = inventory_.GetDisk(0);
    other.SetModel("Another Disk");
    EXPECT_FALSE(UndoRestore(map_, 0, other, undo, false));
    auto undone = UndoRestore(map_, 0, inventory_.GetDisk(0), undo, false);
    ASSERT_TRUE(undone) << undone.error().message;
    EXPECT_EQ(*undone, 2u);
    EXPECT_EQ(*bytes_, before);
    // Once undone the sectors no longer hold what the restore wrote: a second undo refuses.
    EXPECT_FALSE(UndoRestore(map_, 0, inventory_.GetDisk(0), undo, false));
    std::filesystem::remove(undo);
}

TEST_F(RestoreTest, UndoFilesAreNamedApartListedNewestFirstAndCheckedBeforeUse) {
    const auto data = std::filesystem::temp_directory_path() / ("lumacore-undo-list-" + std::to_string(::getpid()));
    std::filesystem::remove_all(data);
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldData ? oldData : "";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    const DiskInfo& disk = inventory_.GetDisk(0);
    const RestorePlan plan = PlanRestore(inventory_, map_, 0, Find(Candidates(), "FAT32"));

    // Two restores in the same second from one program get two files.
    const auto first = NewUndoFilePath(disk);
    ASSERT_TRUE(ApplyRestore(map_, 0, disk, plan, first));
    const auto second = NewUndoFilePath(disk);
    EXPECT_FALSE(std::filesystem::exists(second)) << second;
    EXPECT_EQ(first.parent_path(), data / "lumacore" / "backup");

    // Only this disk's files, newest first; the one that still applies says how many sectors it holds.
    DiskInfo other = disk;
    other.SetModel("Another Disk");
    std::ofstream(NewUndoFilePath(other)) << "x";
    const auto listed = ListUndoFiles(disk);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0], first);
    auto check = CheckUndo(map_, 0, disk, first);
    ASSERT_TRUE(check) << check.error().message;
    EXPECT_EQ(*check, 2u);
    EXPECT_FALSE(CheckUndo(map_, 0, other, first));
    ASSERT_TRUE(UndoRestore(map_, 0, disk, first, false));
    EXPECT_FALSE(CheckUndo(map_, 0, disk, first));

    if (oldData) {
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
    std::filesystem::remove_all(data);
}

TEST_F(RestoreTest, LogicalRestoreAddsARecordAndLinksItFromTheLastOne) {
    PartitionInfo ntfs = Find(Candidates(), "NTFS");
    const RestorePlan plan = PlanRestore(inventory_, map_, 0, ntfs);
    ASSERT_EQ(plan.result, kRestoreDone);
    ASSERT_EQ(plan.writes.size(), 3u);
    EXPECT_EQ(plan.writes[1].sector, 11000u);  // the new record one track before the partition
    const ByteReader record(plan.writes[1].bytes);
    EXPECT_EQ(record.u8(0x1BE + 4), 0x07);
    EXPECT_EQ(record.u32le(0x1BE + 8), 63u);
    EXPECT_EQ(record.u16le(510), 0xAA55);
    EXPECT_EQ(plan.writes[2].sector, 10000u);  // the last record gets the link
    const ByteReader link(plan.writes[2].bytes);
    EXPECT_EQ(link.u8(0x1CE + 4), 0x05);
    EXPECT_EQ(link.u32le(0x1CE + 8), 1000u);
    EXPECT_EQ(link.u32le(0x1CE + 12), ntfs.totalBytes / 512 + 63);
    EXPECT_EQ(link.u8(0x1BE + 4), 0x07);  // its own data entry stays
    EXPECT_EQ(plan.newLastEbrSector, 11000u);
}

TEST_F(RestoreTest, RefusalsWriteNothing) {
    PartitionList list = Candidates();
    EXPECT_EQ(PlanRestore(inventory_, map_, -1, list.front()).result, kRestoreNoDisk);
    const PartitionInfo& gap = Find(list, "Deleted");
    EXPECT_EQ(PlanRestore(inventory_, map_, 0, gap).result, kRestoreInvalidCandidate);
    // A live volume lies in no gap.
    PartitionInfo live = Find(list, "#NTFS#");
    live.SetFsName("NTFS");
    EXPECT_EQ(PlanRestore(inventory_, map_, 0, live).result, kRestoreNoGap);
    // All four entries taken: refused before anything is written.
    PutEntry(*bytes_, 0, 2, 0x83, 20000, 10);
    PutEntry(*bytes_, 0, 3, 0x83, 20010, 10);
    inventory_.Refresh();
    const std::vector<std::byte> before = *bytes_;
    EXPECT_EQ(PlanRestore(inventory_, map_, 0, Find(Candidates(), "FAT32")).result, kRestoreTableFull);
    EXPECT_EQ(*bytes_, before);
}

TEST(PartitionBackup, WritesLoadsAndRefusesOtherDisks) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(8000, "Backup Disk");
    PutEntry(disk, 0, 0, 0x0B, 2048, 2000);
    PutEntry(disk, 0, 1, 0x07, 4048, 2000);
    map.AddDisk(8000, "Backup Disk");  // the same model and size on disk 1
    CDiskInventory inventory(map);
    inventory.Refresh();
    const auto dir = std::filesystem::temp_directory_path() / ("lumacore-pbf-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "Backup Disk 1.pbf";
    ASSERT_TRUE(WriteBackup(file, inventory.GetDisk(0), inventory.volumes));
    // Two table entries and two gaps of disk 0: 4 + 288 + 4 x 600 bytes.
    EXPECT_EQ(std::filesystem::file_size(file), 4u + 288 + 4 * 600);

    auto loaded = LoadBackup(file, inventory.GetDisk(1));  // same model and size: it loads on disk 1
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->size(), 4u);
    EXPECT_EQ((*loaded)[1].FsName(), "#FAT32#");
    EXPECT_EQ((*loaded)[1].startSector, 2048u);

    DiskInfo other = inventory.GetDisk(0);
    other.SetModel("Other Disk");
    EXPECT_FALSE(LoadBackup(file, other));
    other = inventory.GetDisk(0);
    other.sizeBytes += 512;
    EXPECT_FALSE(LoadBackup(file, other));

    // A header alone loads with no candidates; a trailing partial record is ignored; a short or foreign
    // file does not load.
    std::filesystem::resize_file(file, 292);
    loaded = LoadBackup(file, inventory.GetDisk(0));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->empty());
    std::filesystem::resize_file(file, 292 + 599);
    EXPECT_TRUE(LoadBackup(file, inventory.GetDisk(0))->empty());
    std::filesystem::resize_file(file, 100);
    EXPECT_FALSE(LoadBackup(file, inventory.GetDisk(0)));
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(900, 'x');
    EXPECT_FALSE(LoadBackup(file, inventory.GetDisk(0)));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumacore
