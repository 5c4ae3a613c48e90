// The deeper search and the restore of logical partitions on disks built byte by byte: every kind of
// volume start and backup copy it knows, and a removed first logical partition.
#include <gtest/gtest.h>

#include "core/byte_reader.h"
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

void PutU64(std::vector<std::byte>& disk, std::uint64_t at, std::uint64_t value) {
    PutU32(disk, at, static_cast<std::uint32_t>(value));
    PutU32(disk, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void PutNtfs(std::vector<std::byte>& disk, std::uint64_t sector, std::uint64_t sectors) {
    const std::uint64_t at = sector * 512;
    disk[at] = std::byte{0xEB};
    PutBytes(disk, at + 3, "NTFS    ");
    PutU16(disk, at + 0x0B, 512);
    disk[at + 0x0D] = std::byte{8};
    PutU64(disk, at + 0x28, sectors - 1);
    PutU16(disk, at + 510, 0xAA55);
}

std::string Describe(const PartitionList& list) {
    std::string out;
    for (const PartitionInfo& p : list) {
        if (!out.empty()) out += " ";
        out += p.FsName() + "@" + std::to_string(p.startSector) + "+" + std::to_string(p.totalBytes / 512);
    }
    return out;
}

PartitionList Deep(FakeDeviceMap& map) {
    CDiskInventory inventory(map);
    inventory.Refresh();
    ProgressFields progress;
    StopToken stop;
    auto found = DeepScan(inventory, map, 0, progress, stop);
    EXPECT_TRUE(found);
    return found ? *found : PartitionList{};
}

// One gap after a primary partition, holding: an EXT volume whose superblock straddles two of the
// search's read blocks, a FAT32 volume whose first sector was overwritten (its backup and FAT stand),
// an exFAT volume, and an NTFS volume with its backup boot sector (which must not count twice).
TEST(DeepScan, FindsEveryVolumeKindAndBackupCopies) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(40000);
    PutEntry(disk, 0, 0, 0x07, 2048, 2018);  // the gap starts at 4066: its second block at 6114

    const std::uint64_t ext = 6111;               // 97 tracks; superblock in sectors 6113 and 6114
    PutU32(disk, ext * 512 + 1024 + 0x04, 2000);  // blocks of 1 KiB
    PutU16(disk, ext * 512 + 1024 + 0x38, 0xEF53);
    PutU32(disk, ext * 512 + 1024 + 0x60, 0x40);  // extents: EXT4

    const std::uint64_t fat = 12096;  // 192 tracks
    const std::uint64_t backup = (fat + 6) * 512;
    disk[backup] = std::byte{0xEB};
    PutU16(disk, backup + 0x0B, 512);
    disk[backup + 0x0D] = std::byte{1};
    PutU16(disk, backup + 0x0E, 32);  // reserved sectors
    disk[backup + 0x15] = std::byte{0xF8};
    PutU32(disk, backup + 0x20, 3000);
    PutU16(disk, backup + 0x32, 6);
    PutBytes(disk, backup + 0x52, "FAT32   ");
    PutU16(disk, backup + 510, 0xAA55);
    PutU32(disk, (fat + 32) * 512, 0x0FFFFFF8);

    const std::uint64_t exfat = 16128;  // 256 tracks
    disk[exfat * 512] = std::byte{0xEB};
    PutBytes(disk, exfat * 512 + 3, "EXFAT   ");
    PutU64(disk, exfat * 512 + 0x48, 2000);
    disk[exfat * 512 + 0x6C] = std::byte{9};
    disk[exfat * 512 + 0x6D] = std::byte{3};
    PutU16(disk, exfat * 512 + 510, 0xAA55);

    PutNtfs(disk, 20097, 3000);
    PutNtfs(disk, 20097 + 2999, 3000);

    EXPECT_EQ(Describe(Deep(map)), "EXT4@6111+4000 FAT32@12096+3000 exFAT@16128+2000 NTFS@20097+3000");

    // A FAT32 boot sector not followed by its FAT from the start it implies is not a lost volume.
    PutU32(disk, (fat + 32) * 512, 0);
    EXPECT_EQ(Describe(Deep(map)), "EXT4@6111+4000 exFAT@16128+2000 NTFS@20097+3000");
    // An NTFS backup boot sector alone stands for its volume.
    std::fill(disk.begin() + 20097 * 512, disk.begin() + 20098 * 512, std::byte{0});
    EXPECT_EQ(Describe(Deep(map)), "EXT4@6111+4000 exFAT@16128+2000 NTFS@20097+3000");
}

// sfdisk's removal of the first logical partition: the extended partition's first record now holds the
// second one, 8000 sectors in. The freed space is a gap, the lost NTFS is found 2048 sectors after the
// record, and its restore puts it first in the chain with the other partition in a record of its own.
TEST(LogicalRestore, RemovedFirstLogicalComesBackAheadOfTheNext) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(30000);
    PutEntry(disk, 0, 0, 0x0C, 2048, 2048);
    PutEntry(disk, 0, 1, 0x0F, 4096, 20000);
    PutEntry(disk, 4096, 0, 0x83, 8000, 2000);
    PutNtfs(disk, 6144, 3000);
    CDiskInventory inventory(map);
    inventory.Refresh();
    PartitionList records;
    for (const PartitionInfo& p : inventory.volumes) records.push_back(p);
    EXPECT_EQ(Describe(records),
              "Deleted@63+1985 #FAT32#@2048+2048 Deleted@4159+7937 EXTX@12096+2000 Deleted@14159+15841");

    PartitionList autoFound;
    ASSERT_TRUE(AutoScan(inventory, map, 0, autoFound));
    EXPECT_EQ(autoFound[2].FsName(), "NTFS");
    EXPECT_EQ(autoFound[2].startSector, 6144u);
    const PartitionList deep = Deep(map);
    ASSERT_EQ(Describe(deep), "NTFS@6144+3000");

    const RestorePlan plan = PlanRestore(inventory, map, 0, deep[0]);
    ASSERT_EQ(plan.result, kRestoreDone);
    std::vector<std::uint32_t> sectors;
    for (const SectorWrite& w : plan.writes) sectors.push_back(w.sector);
    EXPECT_EQ(sectors, (std::vector<std::uint32_t>{6144, 4096, 10048}));
    EXPECT_EQ(plan.newLastEbrSector, 10048u);
    ASSERT_EQ(plan.entries.size(), 3u);
    EXPECT_EQ(plan.entries[0],
              "extended boot record at sector 4096, entry 1: start 2048, 3000 sectors (1.46 MB), type 0x07");

    for (const SectorWrite& w : plan.writes)
        std::copy(w.bytes.begin(), w.bytes.end(), disk.begin() + w.sector * 512);
    CDiskInventory after(map);
    after.Refresh();
    records.clear();
    for (const PartitionInfo& p : after.volumes) {
        if (p.FsName() != "Deleted") records.push_back(p);
    }
    EXPECT_EQ(Describe(records), "#FAT32#@2048+2048 #NTFS#@6144+3000 EXTX@12096+2000");
    EXPECT_EQ(records[1].tableSector, 4096u);
    EXPECT_EQ(records[2].tableSector, 10048u);
    EXPECT_EQ(after.LastEbrSector(0), 10048u);
}

}  // namespace
}  // namespace lumacore
