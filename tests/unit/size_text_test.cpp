#include <gtest/gtest.h>

#include "core/size_text.h"
#include "disk/drive_tree_text.h"

namespace lumacore {
namespace {

TEST(SizeText, BinaryUnitsWithTwoDecimals) {
    EXPECT_EQ(SizeText(500107862016ull), "465.76 GB");
    EXPECT_EQ(SizeText(0), "0.00 KB");
    EXPECT_EQ(SizeText(1023), "1.00 KB");          // 0.999 KB rounds in the text, stays KB
    EXPECT_EQ(SizeText(1048575), "1024.00 KB");    // just under 1024 KB
    EXPECT_EQ(SizeText(1048576), "1.00 MB");
    EXPECT_EQ(SizeText(1073741824ull), "1.00 GB");
    EXPECT_EQ(SizeText(5ull << 40), "5120.00 GB");  // GB is the largest unit
}

TEST(DriveTreeText, DiskAndVolumeItems) {
    DiskInfo disk;
    disk.SetModel("WDC WD5000AAKX");
    disk.sizeBytes = 500107862016ull;
    EXPECT_EQ(DiskItemText(disk), "WDC WD5000AAKX (465.76 GB)");
    disk.sizeBytes = 1000;
    EXPECT_EQ(DiskItemText(disk), "WDC WD5000AAKX (1000 Byte)");

    PartitionInfo volume;
    volume.driveLetter = '*';
    volume.SetFsName("Deleted");
    volume.totalBytes = 1985 * 512;
    EXPECT_EQ(VolumeItemText(volume), "(*:\\) Deleted (992.50 KB)");
    volume.driveLetter = 'C';
    volume.SetFsName("NTFS");
    volume.totalBytes = 100;
    EXPECT_EQ(VolumeItemText(volume), "(C:\\) NTFS (0.10 KB)");  // no byte form for volumes
}

TEST(DriveTreeText, ModesAdmitTheirFileSystems) {
    for (const char* name : {"NTFS", "FAT32", "FAT", "FAT16"}) {
        EXPECT_TRUE(ModeAdmits(SCAN_DELETED, name));
        EXPECT_TRUE(ModeAdmits(SCAN_FORMATTED, name));
        EXPECT_TRUE(ModeAdmits(SCAN_RAW, name));
    }
    for (const char* name : {"EXT2", "EXT3"}) {
        EXPECT_TRUE(ModeAdmits(SCAN_DELETED, name));
        EXPECT_FALSE(ModeAdmits(SCAN_FORMATTED, name));
    }
    for (const char* name : {"#NTFS#", "#FAT32#", "#FAT16#", "Deleted", "Unknown", "EXTX", "SWAP"}) {
        EXPECT_FALSE(ModeAdmits(SCAN_DELETED, name));
        EXPECT_FALSE(ModeAdmits(SCAN_FORMATTED, name));
        EXPECT_TRUE(ModeAdmits(SCAN_RAW, name));
    }
    EXPECT_FALSE(ModeAdmits(SCAN_PARTITION, "NTFS"));
}

}  // namespace
}  // namespace lumacore
