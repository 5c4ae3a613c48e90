// Lost partitions on disks made with sfdisk, mkfs.fat and mkntfs, whose entries were removed with
// `sfdisk --delete`: found, written back, seen again by sfdisk, mmls, mtools and ntfs-3g, and undone
// exactly.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::vector<char> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::size_t> ChangedSectors(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto x = ReadAll(a);
    const auto y = ReadAll(b);
    std::set<std::size_t> sectors;
    for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
        if (x[i] != y[i]) sectors.insert(i / 512);
    }
    return sectors;
}

struct LostCase {
    const char* name;
    const char* layout;          // sfdisk input
    std::uint32_t volumeStart;   // where the FAT volume that gets lost lies
    std::uint32_t volumeSectors;
    int deleteEntry;             // sfdisk partition number to delete
    const char* searchOptions;   // "" (the gap's first sector) or "--deep"
    std::set<std::size_t> expectedWrites;
};

class LostPartitionTest : public ::testing::TestWithParam<LostCase> {};

TEST_P(LostPartitionTest, FoundRestoredAndUndone) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mdir", "mmls"}) {
        if (!testing::ToolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    const LostCase c = GetParam();
    const auto image = ImageFixtures::ScratchDir() / (std::string("lost-") + c.name + ".img");
    const std::string img = ShellQuote(image.string());
    std::filesystem::remove(image);
    ASSERT_EQ(RunCommand("truncate -s 64M " + img + " && printf '" + c.layout +
                         "' | sfdisk -q --no-reread --no-tell-kernel " + img + " && mkfs.fat -F 16 -h " +
                         std::to_string(c.volumeStart) + " --offset=" + std::to_string(c.volumeStart) + " " + img + " " +
                         std::to_string(c.volumeSectors / 2) + " >/dev/null 2>&1 && echo found-me > " + img +
                         ".txt && mcopy -i " + img + "@@" + std::to_string(std::uint64_t{c.volumeStart} * 512) + " " +
                         img + ".txt ::/FOUND.TXT && sfdisk -q --delete " + img + " " + std::to_string(c.deleteEntry))
                  .status,
              0);
    const auto before = ImageFixtures::ScratchDir() / (std::string("lost-") + c.name + "-before.img");
    std::filesystem::copy_file(image, before, std::filesystem::copy_options::overwrite_existing);
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + img + " partitions --disk 0 ";

    const auto search = RunCommand(cli + "search " + c.searchOptions + " --json");
    ASSERT_EQ(search.status, 0);
    const std::string start = "\"startSector\": " + std::to_string(c.volumeStart);
    const auto at = search.output.find(start);
    ASSERT_NE(at, std::string::npos) << search.output;
    const auto indexAt = search.output.rfind("\"index\": ", at);
    const std::string index = search.output.substr(indexAt + 9, search.output.find(',', indexAt) - indexAt - 9);

    const auto dryRun = RunCommand(cli + "restore " + c.searchOptions + " --candidate " + index + " --dry-run");
    ASSERT_EQ(dryRun.status, 0) << dryRun.output;
    EXPECT_TRUE(ChangedSectors(before, image).empty()) << "a dry run wrote";

    const auto undoDir = ImageFixtures::ScratchDir() / (std::string("undo-") + c.name);
    const auto restore = RunCommand("XDG_DATA_HOME=" + ShellQuote(undoDir.string()) + " " + cli + "restore " +
                                    c.searchOptions + " --candidate " + index + " --yes");
    ASSERT_EQ(restore.status, 0) << restore.output;
    EXPECT_EQ(ChangedSectors(before, image), c.expectedWrites);
    for (std::size_t sector : c.expectedWrites) {
        EXPECT_NE(dryRun.output.find("sector " + std::to_string(sector) + " ("), std::string::npos) << sector;
    }
    const auto sfdisk = RunCommand("sfdisk -d " + img);
    EXPECT_NE(sfdisk.output.find("start=" + std::string(12 - std::to_string(c.volumeStart).size(), ' ') +
                                 std::to_string(c.volumeStart)),
              std::string::npos)
        << sfdisk.output;
    EXPECT_NE(RunCommand("mdir -i " + img + "@@" + std::to_string(std::uint64_t{c.volumeStart} * 512) + " ::").output.find("FOUND"),
              std::string::npos);

    const auto undoFile = RunCommand("ls " + ShellQuote((undoDir / "lumacore" / "backup").string()) + "/*.undo");
    ASSERT_EQ(undoFile.status, 0);
    const std::string undoPath = undoFile.output.substr(0, undoFile.output.find('\n'));
    ASSERT_EQ(RunCommand(cli + "undo " + ShellQuote(undoPath)).status, 0);
    EXPECT_TRUE(ChangedSectors(before, image).empty()) << "the undo did not put everything back";
}

INSTANTIATE_TEST_SUITE_P(
    Sfdisk, LostPartitionTest,
    ::testing::Values(
        // A primary partition at 2048 alignment after a first one: its boot sector starts the gap.
        LostCase{"primary", "label: dos\\nstart=2048, size=20480, type=6\\nstart=22528, size=20480, type=6\\n", 22528,
                 20480, 2, "", {0}},
        // An old-style partition at sector 63 (the gap begins there too).
        LostCase{"sector63", "label: dos\\ngrain: 512\\nfirst-lba: 63\\nstart=63, size=20417, type=6\\n", 63, 20417, 1,
                 "", {0}},
        // A logical partition at a MiB boundary inside a larger gap of a 0x05 extended partition: only the
        // deeper search finds it; a new extended boot record goes one track before it.
        LostCase{"logical", "label: dos\\nstart=2048, size=20480, type=6\\nstart=22528, type=5\\nstart=24576, size=20480, type=6\\nstart=47104, size=20480, type=6\\n",
                 47104, 20480, 6, "--deep", {22528, 47041}}),
    [](const auto& parameter) { return std::string(parameter.param.name); });

// Lost NTFS partitions: one whose boot sector starts its gap (Auto Scan), one at a MiB boundary further
// into a larger gap (only the deep search finds it, sized by its own boot sector).
struct LostNtfsCase {
    const char* name;
    std::uint32_t volumeStart;
    std::uint32_t volumeSectors;
    const char* searchOptions;
    std::uint32_t restoredSectors;  // the size the restored entry gets
};

class LostNtfsTest : public ::testing::TestWithParam<LostNtfsCase> {};

TEST_P(LostNtfsTest, FoundRestoredReadableAndUndone) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mkntfs", "ntfsinfo", "ntfs-3g", "losetup", "mmls"}) {
        if (!testing::ToolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    const LostNtfsCase c = GetParam();
    const auto scratch = ImageFixtures::ScratchDir();
    const auto image = scratch / (std::string("lost-ntfs-") + c.name + ".img");
    const std::string img = ShellQuote(image.string());
    const auto mount = scratch / (std::string("mnt-ntfs-") + c.name);
    std::filesystem::remove(image);
    std::filesystem::create_directories(mount);
    const std::string start = std::to_string(c.volumeStart);
    const std::string layout = "label: dos\\nstart=2048, size=20480, type=6\\nstart=" + start + ", size=" +
                               std::to_string(c.volumeSectors) + ", type=7\\n";
    const std::string offset = std::to_string(std::uint64_t{c.volumeStart} * 512);
    const std::string bytes = std::to_string(std::uint64_t{c.volumeSectors} * 512);
    // mkntfs writes through a loop device over the partition; a file on it shows the volume is whole.
    const std::string make =
        "truncate -s 96M " + img + " && printf '" + layout + "' | sfdisk -q --no-reread --no-tell-kernel " + img +
        " && mkfs.fat -F 16 --offset=2048 " + img + " 10240 >/dev/null 2>&1 && loop=$(losetup -f --show -o " + offset +
        " --sizelimit " + bytes + " " + img + ") && mkntfs -Q -F -q -p " + start + " -H 255 -S 63 -L LOST $loop" +
        " && ntfs-3g $loop " + ShellQuote(mount.string()) + " && echo found-me > " + ShellQuote((mount / "found.txt").string()) +
        " && umount " + ShellQuote(mount.string()) + " && losetup -d $loop && sfdisk -q --delete " + img + " 2";
    if (RunCommand(make).status != 0) GTEST_SKIP() << "no loop device or FUSE here";
    const auto before = scratch / (std::string("lost-ntfs-") + c.name + "-before.img");
    std::filesystem::copy_file(image, before, std::filesystem::copy_options::overwrite_existing);
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + img + " partitions --disk 0 ";

    const auto search = RunCommand(cli + "search " + c.searchOptions + " --json");
    ASSERT_EQ(search.status, 0);
    const auto at = search.output.find("\"startSector\": " + start);
    ASSERT_NE(at, std::string::npos) << search.output;
    const auto indexAt = search.output.rfind("\"index\": ", at);
    const std::string index = search.output.substr(indexAt + 9, search.output.find(',', indexAt) - indexAt - 9);
    EXPECT_NE(search.output.substr(indexAt, at - indexAt).find("\"fsName\": \"NTFS\""), std::string::npos);

    const auto dryRun = RunCommand(cli + "restore " + c.searchOptions + " --candidate " + index + " --dry-run");
    ASSERT_EQ(dryRun.status, 0) << dryRun.output;
    EXPECT_TRUE(ChangedSectors(before, image).empty()) << "a dry run wrote";
    const auto undoDir = scratch / (std::string("undo-ntfs-") + c.name);
    const auto restore = RunCommand("XDG_DATA_HOME=" + ShellQuote(undoDir.string()) + " " + cli + "restore " + c.searchOptions +
                                    " --candidate " + index + " --yes");
    ASSERT_EQ(restore.status, 0) << restore.output;
    // The boot sector written back is the one already there: only the table changes.
    EXPECT_EQ(ChangedSectors(before, image), (std::set<std::size_t>{0}));
    EXPECT_NE(dryRun.output.find("sector 0 ("), std::string::npos);
    EXPECT_NE(RunCommand("sfdisk -d " + img).output.find("start=" + std::string(12 - start.size(), ' ') + start +
                                                         ", size=" + std::string(12 - std::to_string(c.restoredSectors).size(), ' ') +
                                                         std::to_string(c.restoredSectors) + ", type=7"),
              std::string::npos);
    EXPECT_NE(RunCommand("mmls " + img).output.find(std::string(10 - start.size(), '0') + start), std::string::npos);
    // The file system is whole: ntfsinfo reads it, ntfs-3g shows the file.
    const auto check = RunCommand("loop=$(losetup -r -f --show -o " + offset + " --sizelimit " +
                                  std::to_string(std::uint64_t{c.restoredSectors} * 512) + " " + img +
                                  ") && ntfsinfo -m $loop | grep -q 'Volume Name: LOST' && ntfs-3g -o ro $loop " +
                                  ShellQuote(mount.string()) + " && cat " + ShellQuote((mount / "found.txt").string()) +
                                  "; umount " + ShellQuote(mount.string()) + " 2>/dev/null; losetup -d $loop");
    EXPECT_NE(check.output.find("found-me"), std::string::npos) << check.output;

    const auto undoFile = RunCommand("ls " + ShellQuote((undoDir / "lumacore" / "backup").string()) + "/*.undo");
    ASSERT_EQ(undoFile.status, 0);
    ASSERT_EQ(RunCommand(cli + "undo " + ShellQuote(undoFile.output.substr(0, undoFile.output.find('\n')))).status, 0);
    EXPECT_TRUE(ChangedSectors(before, image).empty()) << "the undo did not put everything back";
}

INSTANTIATE_TEST_SUITE_P(
    Mkntfs, LostNtfsTest,
    ::testing::Values(
        // The gap starts with the NTFS boot sector; Auto Scan sizes the partition to the whole gap.
        LostNtfsCase{"gapstart", 22528, 40960, "", 196608 - 22528},
        // 10 MiB into the gap: found by the deep search and sized by its boot sector (the volume's sectors
        // and the backup boot sector after them).
        LostNtfsCase{"insidegap", 43008, 40960, "--deep", 40960}),
    [](const auto& parameter) { return std::string(parameter.param.name); });

}  // namespace
}  // namespace lumacore
