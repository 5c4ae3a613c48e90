// The command line end to end: what scripts rely on.
#include <gtest/gtest.h>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::string Cli() { return ShellQuote(LUMACORE_CLI); }

TEST(CliDisks, ListsTheTreeAndEveryFieldAsJson) {
    const auto ntfs = ImageFixtures::SharedImage("ntfs-windows10-large-dir", "ntfs.bin");
    const auto linuxMbr = ImageFixtures::SharedImage("mbr-linux-extended-ext2-ext4", "mbr.raw");
    ASSERT_FALSE(ntfs.empty());
    const std::string images = " --no-devices --image " + ShellQuote(ntfs.string()) + " --image " +
                               ShellQuote(linuxMbr.string());

    const auto text = RunCommand(Cli() + images + " disks");
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.output,
              "My Computer\n"
              "  Disk image ntfs.bin (9.94 MB)\n"
              "    [0] (C:\\) NTFS (9.94 MB)\n"
              "  Disk image mbr.raw (4.00 MB)\n"
              "    [1] (*:\\) EXT2 (64.50 KB)\n"
              "    [2] (*:\\) EXT4 (64.50 KB)\n"
              "    [3] (*:\\) Deleted (3.84 MB)\n");

    const auto json = RunCommand(Cli() + images + " disks --json");
    EXPECT_EQ(json.status, 0);
    for (const char* field : {"\"disks\": [", "\"volumes\": [", "\"model\": \"Disk image ntfs.bin\"",
                              "\"sizeBytes\": 10420736", "\"removable\": 0", "\"diskNumber\": 1", "\"busType\": 15",
                              "\"index\": 3", "\"driveLetter\": \"C\"", "\"kind\": 2", "\"tableSector\": 130",
                              "\"extendedStart\": 130", "\"fsName\": \"EXT2\"", "\"volumeLabel\": \"ext4_test\"",
                              "\"startSector\": 131", "\"sectorsPerCluster\": ", "\"bytesPerSector\": 1024",
                              "\"freeBytes\": ", "\"totalBytes\": 66048", "\"typeCode\": 131",
                              "\"lastEbrSector\": 130"}) {
        EXPECT_NE(json.output.find(field), std::string::npos) << field;
    }
    EXPECT_EQ(json.output.find("bootSector"), std::string::npos);
}

TEST(CliDisks, EnvironmentListAddsImagesAfterTheOptions) {
    const auto ntfs = ImageFixtures::SharedImage("ntfs-windows10-large-dir", "ntfs.bin");
    const auto floppy = ImageFixtures::SharedImage("fat12-winxp-floppy", "daylight.dd");
    const auto result = RunCommand("LUMACORE_IMAGES=" + ShellQuote(ntfs.string()) + " " + Cli() +
                                   " disks --no-devices --image " + ShellQuote(floppy.string()));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "My Computer\n"
              "  Disk image daylight.dd (1.41 MB)\n"
              "    [0] (C:\\) FAT (1.41 MB)\n"
              "  Disk image ntfs.bin (9.94 MB)\n"
              "    [1] (D:\\) NTFS (9.94 MB)\n");
}

TEST(CliDisks, BadInputExitsWithStatusTwoAndNamesTheFile) {
    const auto missing = RunCommand(Cli() + " --no-devices --image /nonexistent/disk.img disks 2>&1");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("/nonexistent/disk.img"), std::string::npos) << missing.output;

    const auto folder = RunCommand(Cli() + " --no-devices --image /tmp disks 2>&1");
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.output.find("/tmp"), std::string::npos) << folder.output;

    EXPECT_EQ(RunCommand(Cli() + " --no-devices frobnicate 2>&1").status, 2);
    EXPECT_EQ(RunCommand(Cli() + " --no-devices disks --bogus 2>&1").status, 2);
    EXPECT_EQ(RunCommand(Cli() + " 2>&1").status, 2);

    const auto none = RunCommand(Cli() + " --no-devices disks");
    EXPECT_EQ(none.status, 0);  // no disks is not an error
    EXPECT_EQ(none.output, "My Computer\n");
}

}  // namespace
}  // namespace lumacore
