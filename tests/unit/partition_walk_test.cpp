#include <gtest/gtest.h>

#include "disk/disk_inventory.h"
#include "unit/fake_device_map.h"

namespace lumacore {
namespace {

using testing::FakeDeviceMap;
using testing::PutBytes;
using testing::PutEntry;
using testing::PutU16;
using testing::PutU32;

PartitionList Walk(FakeDeviceMap& map, int disk = 0, bool* ok = nullptr) {
    CDiskInventory inventory(map);
    PartitionList list;
    const bool result = inventory.ReadPartitionTable(disk, list);
    if (ok) *ok = result;
    return list;
}

// A compact description of a list: "fsName@start+sectors/kind" per record.
std::string Describe(const PartitionList& list) {
    std::string out;
    for (const PartitionInfo& p : list) {
        if (!out.empty()) out += " ";
        out += p.FsName() + "@" + std::to_string(p.startSector) + "+" + std::to_string(p.totalBytes / 512) + "/" +
               std::to_string(p.kind);
    }
    return out;
}

void PutExtSuperblock(std::vector<std::byte>& disk, std::uint32_t partitionStart, std::uint32_t journalInode,
                      const std::string& label) {
    const std::uint64_t sb = (std::uint64_t{partitionStart} + 2) * 512;
    PutU32(disk, sb + 0x0C, 100);   // free blocks
    PutU32(disk, sb + 0x18, 2);     // 4 KiB blocks
    PutU32(disk, sb + 0x20, 32768); // blocks per group
    PutU16(disk, sb + 0x38, 0xEF53);
    PutU32(disk, sb + 0xE0, journalInode);
    PutBytes(disk, sb + 0x78, label);
}

TEST(PartitionWalk, SectorZeroBootSectorIsOneWholeDiskRecord) {
    struct Case {
        const char* name;
        std::size_t offset;
        const char* text;
        bool jump;
    };
    for (const Case& c : {Case{"fat32", 0x52, "FAT32   ", true}, Case{"ntfs", 3, "NTFS    ", false},
                          Case{"fat16", 0x36, "FAT16   ", false}, Case{"fat12", 0x36, "FAT12   ", false}}) {
        SCOPED_TRACE(c.name);
        FakeDeviceMap map;
        auto& disk = map.AddDisk(1000);
        if (c.jump) disk[0] = std::byte{0xEB};
        PutBytes(disk, c.offset, c.text);
        // Bytes where partition entries would be must not matter.
        PutEntry(disk, 0, 0, 0x07, 100, 50);
        const PartitionList list = Walk(map);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(Describe(list), "Unknown@0+1000/1");
        EXPECT_EQ(list[0].driveLetter, '*');
        EXPECT_EQ(list[0].VolumeLabel(), "Unknown");
        EXPECT_EQ(list[0].freeBytes, 1000u * 512);
    }
    // "FAT32" at 0x52 without the jump byte is not a boot sector.
    FakeDeviceMap map;
    auto& disk = map.AddDisk(1000);
    PutBytes(disk, 0x52, "FAT32   ");
    EXPECT_TRUE(Walk(map).empty());
}

TEST(PartitionWalk, NamesEntriesByTypeAndFillsGaps) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(20000);
    PutEntry(disk, 0, 0, 0x06, 2048, 1000);   // FAT16
    PutEntry(disk, 0, 1, 0x07, 4000, 1000);   // NTFS, gap before it
    PutEntry(disk, 0, 2, 0x0C, 5000, 1000);   // FAT32 right after
    PutEntry(disk, 0, 3, 0x82, 6000, 1000);   // swap; trailing gap to the disk end
    bool ok = false;
    const PartitionList list = Walk(map, 0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Describe(list),
              "Deleted@63+1985/1 #FAT16#@2048+1000/1 Deleted@3048+952/1 #NTFS#@4000+1000/1 "
              "#FAT32#@5000+1000/1 SWAP@6000+1000/1 Deleted@7000+13000/1");
    EXPECT_EQ(list[1].typeCode, 0x06);
    EXPECT_EQ(list[1].sectorsPerCluster, 8u);
    EXPECT_EQ(list[1].bytesPerSector, 512u);
    EXPECT_EQ(list[0].typeCode, 0);
    EXPECT_EQ(list[0].tableSector, 63u);
}

TEST(PartitionWalk, FirstPartitionAtSector63HasNoLeadingGap) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(1000);
    PutEntry(disk, 0, 0, 0x0B, 63, 937);
    EXPECT_EQ(Describe(Walk(map)), "#FAT32#@63+937/1");
}

TEST(PartitionWalk, EmptyTableGivesNoRecords) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(1000);
    PutU16(disk, 0x1FE, 0xAA55);
    bool ok = false;
    EXPECT_TRUE(Walk(map, 0, &ok).empty());
    EXPECT_TRUE(ok);
}

TEST(PartitionWalk, BareExtVolumeIsOneWholeDiskRecord) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(4000);
    PutExtSuperblock(disk, 0, 8, "bare");
    const PartitionList list = Walk(map);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(Describe(list), "EXT3@0+4000/1");
    EXPECT_EQ(list[0].VolumeLabel(), "bare");
    EXPECT_EQ(list[0].typeCode, 0);
    EXPECT_EQ(list[0].bytesPerSector, 4096u);

    PutEntry(disk, 0, 0, 0x07, 2048, 100);  // with a table entry it is a partitioned disk again
    EXPECT_EQ(Describe(Walk(map)), "Deleted@63+1985/1 #NTFS#@2048+100/1 Deleted@2148+1852/1");
}

TEST(PartitionWalk, DuplicateStartKeepsTheFirstEntry) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(4000);
    PutEntry(disk, 0, 0, 0x07, 63, 1000);
    PutEntry(disk, 0, 1, 0x0B, 63, 2000);
    const PartitionList list = Walk(map);
    ASSERT_GE(list.size(), 1u);
    EXPECT_EQ(list[0].FsName(), "#NTFS#");
    EXPECT_EQ(Describe(list), "#NTFS#@63+1000/1 Deleted@1063+2937/1");
}

// Every extended container type opens a chain; the container entry itself is not listed.
TEST(PartitionWalk, ExtendedChainsOfEveryContainerType) {
    for (std::uint8_t containerType : {std::uint8_t{0x05}, std::uint8_t{0x0F}, std::uint8_t{0x85}}) {
        SCOPED_TRACE(static_cast<int>(containerType));
        FakeDeviceMap map;
        auto& disk = map.AddDisk(10000);
        PutEntry(disk, 0, 0, 0x07, 63, 937);
        PutEntry(disk, 0, 1, containerType, 1000, 9000);
        // EBR at 1000: logical FAT32 at 1063 (937 sectors); link to the EBR at 1000+2000.
        PutEntry(disk, 1000, 0, 0x0B, 63, 937);
        PutEntry(disk, 1000, 1, 0x05, 2000, 3000);
        // EBR at 3000: logical swap at 3063 (937 sectors); end of chain.
        PutEntry(disk, 3000, 0, 0x82, 63, 937);
        CDiskInventory inventory(map);
        inventory.Refresh();
        PartitionList list;
        ASSERT_TRUE(inventory.ReadPartitionTable(0, list));
        EXPECT_EQ(Describe(list),
                  "#NTFS#@63+937/1 #FAT32#@1063+937/2 Deleted@2063+937/2 SWAP@3063+937/2 Deleted@4063+5937/2");
        EXPECT_EQ(list[1].tableSector, 1000u);
        EXPECT_EQ(list[1].extendedStart, 1000u);
        EXPECT_EQ(list[2].tableSector, 2000u);  // the gap's key is where the free space begins
        EXPECT_EQ(list[3].tableSector, 3000u);
        EXPECT_EQ(inventory.LastEbrSector(0), 3000u);
    }
}

TEST(PartitionWalk, SwappedEbrEntriesAndZeroLengthDataEntry) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(10000);
    PutEntry(disk, 0, 0, 0x0F, 1000, 9000);
    // First EBR: link first, data second.
    PutEntry(disk, 1000, 0, 0x05, 2000, 3000);
    PutEntry(disk, 1000, 1, 0x06, 63, 937);
    // Second EBR: empty data entry (count 0) and a link on to a third.
    PutEntry(disk, 3000, 0, 0x06, 63, 0);
    PutEntry(disk, 3000, 1, 0x05, 4000, 1000);
    PutEntry(disk, 5000, 0, 0x07, 63, 937);
    CDiskInventory inventory(map);
    PartitionList list;
    ASSERT_TRUE(inventory.ReadPartitionTable(0, list));
    EXPECT_EQ(Describe(list), "Deleted@63+937/1 #FAT16#@1063+937/2 Deleted@2063+2937/2 #NTFS#@5063+937/2 "
                              "Deleted@6063+3937/2");
    EXPECT_EQ(inventory.LastEbrSector(0), 5000u);
}

TEST(PartitionWalk, ChainLinkOfType0FEndsTheChainAndIsNotSpecialInside) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(10000);
    PutEntry(disk, 0, 0, 0x05, 1000, 9000);
    PutEntry(disk, 1000, 0, 0x0F, 63, 937);     // data entry of type 0x0F: just "Unknown"
    PutEntry(disk, 1000, 1, 0x0F, 2000, 1000);  // a 0x0F link ends the chain
    PutEntry(disk, 3000, 0, 0x07, 63, 937);     // never reached
    CDiskInventory inventory(map);
    PartitionList list;
    ASSERT_TRUE(inventory.ReadPartitionTable(0, list));
    EXPECT_EQ(Describe(list), "Deleted@63+937/1 Unknown@1063+937/2 Deleted@2063+7937/2");
    EXPECT_EQ(inventory.LastEbrSector(0), 1000u);
}

TEST(PartitionWalk, LoopingChainEndsAndKeepsWhatWasFound) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(10000);
    PutEntry(disk, 0, 0, 0x05, 1000, 9000);
    PutEntry(disk, 1000, 0, 0x0B, 63, 937);
    PutEntry(disk, 1000, 1, 0x05, 2000, 1000);
    PutEntry(disk, 3000, 0, 0x07, 63, 937);
    PutEntry(disk, 3000, 1, 0x05, 0, 1000);  // links back to the first EBR
    CDiskInventory inventory(map);
    PartitionList list;
    ASSERT_TRUE(inventory.ReadPartitionTable(0, list));
    EXPECT_EQ(Describe(list), "Deleted@63+937/1 #FAT32#@1063+937/2 Deleted@2063+937/2 #NTFS#@3063+937/2 "
                              "Deleted@4063+5937/2");

    // An EBR that links to itself.
    FakeDeviceMap self;
    auto& d2 = self.AddDisk(4000);
    PutEntry(d2, 0, 0, 0x0F, 1000, 3000);
    PutEntry(d2, 1000, 0, 0x0B, 63, 100);
    PutEntry(d2, 1000, 1, 0x05, 0, 3000);
    EXPECT_EQ(Walk(self).size(), 3u);
}

TEST(PartitionWalk, ReadFailureKeepsEarlierRecords) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(2000);
    PutEntry(disk, 0, 0, 0x07, 63, 937);
    PutEntry(disk, 0, 1, 0x0B, 5000, 100);  // beyond the disk: its boot sector cannot be read
    PutEntry(disk, 0, 2, 0x06, 1000, 100);  // never reached
    bool ok = true;
    const PartitionList list = Walk(map, 0, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Describe(list), "#NTFS#@63+937/1");
}

TEST(PartitionWalk, ExtProbeNamesAndMeasuresTheVolume) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(12000);
    PutEntry(disk, 0, 0, 0x83, 2048, 2000);
    PutEntry(disk, 0, 1, 0x83, 4048, 2000);
    PutEntry(disk, 0, 2, 0x83, 6048, 2000);
    PutExtSuperblock(disk, 2048, 0, "rootfs");
    PutExtSuperblock(disk, 4048, 8, "a-label-of-16-ch");  // a full 16-byte label has no NUL
    const PartitionList list = Walk(map);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[1].FsName(), "EXT2");
    EXPECT_EQ(list[1].VolumeLabel(), "rootfs");
    EXPECT_EQ(list[1].bytesPerSector, 4096u);
    EXPECT_EQ(list[1].sectorsPerCluster, 32768u);
    EXPECT_EQ(list[1].freeBytes, 100u * 4096);
    EXPECT_EQ(list[1].totalBytes, 2000u * 512);
    EXPECT_EQ(list[2].FsName(), "EXT3");
    EXPECT_EQ(list[2].VolumeLabel(), "a-label-of-16-ch");
    EXPECT_EQ(list[3].FsName(), "EXTX");
    EXPECT_EQ(list[3].VolumeLabel(), "Unknown");
    EXPECT_EQ(list[3].freeBytes, list[3].totalBytes);
}

TEST(PartitionWalk, ExtProbeRejectsAbsurdBlockSize) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(8000);
    PutEntry(disk, 0, 0, 0x83, 2048, 2000);
    PutExtSuperblock(disk, 2048, 0, "x");
    PutU32(disk, (2048 + 2) * 512 + 0x18, 40);  // 1 << 50 would not even fit the field
    const PartitionList list = Walk(map);
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list[1].FsName(), "EXTX");
}

TEST(PartitionWalk, GapInsideExtendedShorterThanATrackIsNotListed) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(6000);
    PutEntry(disk, 0, 0, 0x05, 1000, 5000);
    PutEntry(disk, 1000, 0, 0x0B, 63, 937);
    PutEntry(disk, 1000, 1, 0x05, 1010, 1000);  // next EBR 10 sectors after the first logical ends
    PutEntry(disk, 2010, 0, 0x07, 63, 937);
    const PartitionList list = Walk(map);
    for (const PartitionInfo& p : list) EXPECT_LT(p.totalBytes, 6000u * 512) << Describe(list);
    EXPECT_EQ(Describe(list), "Deleted@63+937/1 #FAT32#@1063+937/2 #NTFS#@2073+937/2 Deleted@3073+2927/2");
}

TEST(Inventory, LetteredVolumeMergesWithTheTableEntryItStandsOn) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(4000, "Maker Disk");
    PutEntry(disk, 0, 0, 0x07, 63, 1937);
    PutBytes(disk, 63 * 512 + 3, "NTFS    ");
    PutEntry(disk, 0, 1, 0x0B, 2000, 1000);
    FakeDeviceMap::Volume volume;
    volume.disk = 0;
    volume.information = {"NTFS", "DATA"};
    volume.space = {8, 512, 100, 240};
    volume.extent = {63 * 512, 1937 * 512};
    map.AddVolume('C', volume);

    CDiskInventory inventory(map);
    inventory.Refresh();
    ASSERT_EQ(inventory.diskCount(), 1);
    EXPECT_EQ(inventory.GetDisk(0).Model(), "Maker Disk");
    ASSERT_EQ(inventory.volumeCount(), 3);
    const PartitionInfo& c = inventory.GetVolume(0);
    EXPECT_EQ(c.driveLetter, 'C');
    EXPECT_EQ(c.FsName(), "NTFS");
    EXPECT_EQ(c.VolumeLabel(), "DATA");
    EXPECT_EQ(c.kind, 1);
    EXPECT_EQ(c.typeCode, 0x07);
    EXPECT_EQ(c.tableSector, 63u);
    EXPECT_EQ(c.freeBytes, 100u * 8 * 512);
    EXPECT_EQ(static_cast<char>(c.bootSector[3]), 'N');
    EXPECT_EQ(inventory.GetVolume(1).FsName(), "#FAT32#");
    EXPECT_EQ(inventory.GetVolume(2).FsName(), "Deleted");
}

TEST(Inventory, MergeToleratesLessThanOneTrackOfDifference) {
    FakeDeviceMap map;
    auto& disk = map.AddDisk(4000);
    PutEntry(disk, 0, 0, 0x0B, 100, 3900);
    FakeDeviceMap::Volume volume;
    volume.information = {"FAT32", ""};
    volume.extent = {(100 + 62) * 512, 3000 * 512};  // 62 sectors off still merges
    map.AddVolume('D', volume);
    CDiskInventory inventory(map);
    inventory.Refresh();
    EXPECT_EQ(inventory.volumeCount(), 2);  // merged volume + leading gap

    volume.extent = {(100 + 63) * 512, 3000 * 512};  // 63 off does not
    map.AddVolume('D', volume);
    inventory.Refresh();
    EXPECT_EQ(inventory.volumeCount(), 3);
}

TEST(Inventory, DisksOfTheSameModelKeepTheirOwnVolumes) {
    FakeDeviceMap map;
    for (int i = 0; i < 2; ++i) {
        auto& disk = map.AddDisk(4000, "Same Model");
        PutEntry(disk, 0, 0, 0x0B, 63, 3937);
    }
    FakeDeviceMap::Volume volume;
    volume.disk = 1;
    volume.information = {"FAT32", "SECOND"};
    volume.extent = {63 * 512, 3937 * 512};
    map.AddVolume('C', volume);
    CDiskInventory inventory(map);
    inventory.Refresh();
    EXPECT_EQ(inventory.FindDiskByModel("Same Model"), 0);
    ASSERT_EQ(inventory.volumeCount(), 2);
    EXPECT_EQ(inventory.GetVolume(0).diskNumber, 1);
    EXPECT_EQ(inventory.GetVolume(0).typeCode, 0x0B);
    EXPECT_EQ(inventory.GetVolume(1).diskNumber, 0);  // disk 0's entry stays a table record
    EXPECT_EQ(inventory.GetVolume(1).FsName(), "#FAT32#");
}

TEST(Inventory, NonDiskDevicesAreSkipped) {
    FakeDeviceMap map;
    map.AddDisk(100, "Optical");
    map.disk(0).deviceType = 5;
    auto& disk = map.AddDisk(100, "Real");
    PutEntry(disk, 0, 0, 0x07, 10, 50);
    CDiskInventory inventory(map);
    inventory.Refresh();
    ASSERT_EQ(inventory.diskCount(), 1);
    EXPECT_EQ(inventory.GetDisk(0).diskNumber, 1);
    EXPECT_EQ(inventory.QueryDiskSize(0), 0u);
    for (const PartitionInfo& p : inventory.volumes) EXPECT_EQ(p.diskNumber, 1);
}

TEST(Inventory, AdministratorProbeOnlyReportsRefusal) {
    FakeDeviceMap map;
    EXPECT_FALSE(AdministratorRightsMissing(map));
    map.AddDisk(10);
    EXPECT_FALSE(AdministratorRightsMissing(map));
    map.disk(0).accessDenied = true;
    EXPECT_TRUE(AdministratorRightsMissing(map));
    CDiskInventory inventory(map);
    inventory.Refresh();
    EXPECT_EQ(inventory.diskCount(), 0);
}

TEST(Inventory, InsertSortedOrdersByTableSectorAndDropsDuplicates) {
    PartitionList list;
    auto make = [](std::uint32_t sector, const char* name) {
        PartitionInfo p;
        p.tableSector = sector;
        p.SetFsName(name);
        return p;
    };
    CDiskInventory::InsertSorted(list, make(500, "b"));
    CDiskInventory::InsertSorted(list, make(100, "a"));
    CDiskInventory::InsertSorted(list, make(900, "c"));
    CDiskInventory::InsertSorted(list, make(500, "dup"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].FsName(), "a");
    EXPECT_EQ(list[1].FsName(), "b");
    EXPECT_EQ(list[2].FsName(), "c");
}

}  // namespace
}  // namespace lumacore
