// The inventory on real disk images: our own fixtures made with sfdisk, mkfs.fat, mkntfs and mke2fs,
// and images made by other systems. Partition starts and lengths must agree with The Sleuth Kit's mmls.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "disk/disk_inventory.h"
#include "disk/drive_tree_text.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct Extent {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    auto operator<=>(const Extent&) const = default;
};

std::string Show(const std::set<Extent>& extents) {
    std::ostringstream out;
    for (const Extent& e : extents) out << e.start << "+" << e.length << " ";
    return out.str();
}

// The partitions mmls lists (not its table, extended-container and unallocated rows).
std::set<Extent> MmlsPartitions(const std::filesystem::path& image) {
    std::set<Extent> extents;
    const auto result = RunCommand("mmls " + ShellQuote(image.string()) + " 2>/dev/null");
    static const std::regex row(R"(^\d+:\s+\d+:\d+\s+(\d+)\s+\d+\s+(\d+)\s)");
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row)) extents.insert({std::stoull(m[1]), std::stoull(m[2])});
    }
    return extents;
}

struct Inventory {
    std::unique_ptr<SystemDeviceMap> map;
    std::unique_ptr<CDiskInventory> inventory;
};

Inventory InventoryOf(const std::vector<std::filesystem::path>& images) {
    SystemDeviceMap::Options options;
    for (const auto& image : images) options.images.push_back(image.string());
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    EXPECT_TRUE(map) << (map ? "" : map.error().message);
    Inventory result;
    result.map = std::move(*map);
    result.inventory = std::make_unique<CDiskInventory>(*result.map);
    result.inventory->Refresh();
    return result;
}

// Table entries of our inventory: records that are neither gaps nor a whole-disk volume.
std::set<Extent> OurPartitions(const CDiskInventory& inventory) {
    std::set<Extent> extents;
    for (const PartitionInfo& p : inventory.volumes) {
        if (p.FsName() == "Deleted" || p.kind == PartitionInfo::kKindUnmatchedVolume) continue;
        if (p.tableSector == 0 && p.startSector == 0 && p.typeCode == 0) continue;  // whole-disk volume
        extents.insert({p.startSector, p.totalBytes / 512});
    }
    return extents;
}

std::vector<std::string> TreeTexts(const CDiskInventory& inventory) {
    std::vector<std::string> texts;
    for (const DiskInfo& disk : inventory.disks) {
        texts.push_back(DiskItemText(disk));
        for (const PartitionInfo& v : inventory.volumes) {
            if (v.diskNumber == disk.diskNumber) texts.push_back("  " + VolumeItemText(v));
        }
    }
    return texts;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

TEST(InventoryImages, PartitionsAgreeWithMmls) {
    if (!testing::ToolAvailable("mmls")) GTEST_SKIP() << "mmls (sleuthkit) is not installed";
    std::vector<std::filesystem::path> images;
    for (const auto& name : ImageFixtures::FixtureNames()) images.push_back(ImageFixtures::Fixture(name));
    for (const auto& [folder, file] : ImageFixtures::SharedImages()) {
        images.push_back(ImageFixtures::SharedImage(folder, file));
    }
    ASSERT_GE(images.size(), 6u);
    for (const auto& image : images) {
        SCOPED_TRACE(image.filename().string());
        const auto inventory = InventoryOf({image});
        const auto ours = OurPartitions(*inventory.inventory);
        const auto theirs = MmlsPartitions(image);
        EXPECT_EQ(Show(ours), Show(theirs));
    }
}

TEST(InventoryImages, ImagesMadeByOtherSystems) {
    const auto floppy = ImageFixtures::SharedImage("fat12-winxp-floppy", "daylight.dd");
    const auto fat16 = ImageFixtures::SharedImage("fat16-linux-mkdosfs", "fat-img-kw.dd");
    const auto ntfs = ImageFixtures::SharedImage("ntfs-windows10-large-dir", "ntfs.bin");
    const auto ext3 = ImageFixtures::SharedImage("ext3-journal-deleted-inodes", "f_badorphan.img");
    const auto linuxMbr = ImageFixtures::SharedImage("mbr-linux-extended-ext2-ext4", "mbr.raw");
    const auto firstSlot = ImageFixtures::SharedImage("mbr-extended-in-first-slot", "mbr-512-p1e2.bin");
    for (const auto& p : {floppy, fat16, ntfs, ext3, linuxMbr, firstSlot}) ASSERT_FALSE(p.empty());

    const auto all = InventoryOf({floppy, fat16, ntfs, ext3, linuxMbr, firstSlot});
    EXPECT_EQ(Joined(TreeTexts(*all.inventory)),
              "Disk image daylight.dd (1.41 MB)\n"
              "  (C:\\) FAT (1.41 MB)\n"
              "Disk image fat-img-kw.dd (15.00 MB)\n"
              "  (D:\\) FAT (15.00 MB)\n"
              "Disk image ntfs.bin (9.94 MB)\n"
              "  (E:\\) NTFS (9.94 MB)\n"
              "Disk image f_badorphan.img (8.00 MB)\n"
              "  (*:\\) EXT3 (8.00 MB)\n"
              "Disk image mbr.raw (4.00 MB)\n"
              "  (*:\\) EXT2 (64.50 KB)\n"
              "  (*:\\) EXT4 (64.50 KB)\n"
              "  (*:\\) Deleted (3.84 MB)\n"
              "Disk image mbr-512-p1e2.bin (1.00 MB)\n"
              "  (*:\\) EXTX (255.50 KB)\n"
              "  (*:\\) EXTX (255.50 KB)\n"
              "  (*:\\) EXTX (511.50 KB)\n");

    const CDiskInventory& inv = *all.inventory;
    ASSERT_EQ(inv.diskCount(), 6);
    EXPECT_EQ(inv.GetDisk(2).sizeBytes, 10420736u);  // the true size, not whole cylinders
    EXPECT_EQ(inv.GetDisk(0).busType, kBusFileBackedVirtual);

    const PartitionInfo& e = inv.GetVolume(2);
    EXPECT_EQ(e.VolumeLabel(), "New Volume");
    EXPECT_EQ(e.sectorsPerCluster, 8u);
    EXPECT_EQ(e.bytesPerSector, 512u);
    EXPECT_EQ(e.freeBytes, 36u * 4096);  // 36 clear bits in $Bitmap
    EXPECT_EQ(e.kind, 1);                // merged with the whole-disk record
    EXPECT_EQ(e.typeCode, 0);

    const PartitionInfo& d = inv.GetVolume(1);
    EXPECT_EQ(d.freeBytes, 15584768u);  // what mtools reports free on this volume

    // The Linux fdisk disk: a 0x05 extended partition whose logical ext4 volume must be seen.
    std::vector<const PartitionInfo*> linux;
    for (const PartitionInfo& v : inv.volumes) {
        if (v.diskNumber == 4) linux.push_back(&v);
    }
    ASSERT_EQ(linux.size(), 3u);
    EXPECT_EQ(linux[0]->VolumeLabel(), "ext3_test");
    EXPECT_EQ(linux[0]->startSector, 1u);
    EXPECT_EQ(linux[1]->VolumeLabel(), "ext4_test");
    EXPECT_EQ(linux[1]->startSector, 131u);
    EXPECT_EQ(linux[1]->kind, 2);
    EXPECT_EQ(linux[1]->extendedStart, 130u);
    EXPECT_EQ(linux[1]->bytesPerSector, 1024u);
    EXPECT_EQ(inv.LastEbrSector(4), 130u);
    EXPECT_EQ(linux[2]->startSector, 260u + 63);  // a gap inside the extended partition starts a track on

    // The disk whose first table entry is the extended partition.
    std::vector<const PartitionInfo*> firstSlotRecords;
    for (const PartitionInfo& v : inv.volumes) {
        if (v.diskNumber == 5) firstSlotRecords.push_back(&v);
    }
    ASSERT_EQ(firstSlotRecords.size(), 3u);
    EXPECT_EQ(firstSlotRecords[0]->startSector, 2u);
    EXPECT_EQ(firstSlotRecords[0]->tableSector, 1u);
    EXPECT_EQ(firstSlotRecords[1]->startSector, 514u);
    EXPECT_EQ(firstSlotRecords[1]->tableSector, 513u);
    EXPECT_EQ(firstSlotRecords[2]->startSector, 1025u);
    EXPECT_EQ(inv.LastEbrSector(5), 513u);
}

}  // namespace
}  // namespace lumacore
