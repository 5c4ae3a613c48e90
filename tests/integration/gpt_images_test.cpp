// Disks of today made with real tools: GPT disks from sgdisk with FAT32, EXT4 and NTFS, a GPT whose
// primary header is zeroed, partitions removed with `sgdisk -d` and `sfdisk --delete` and written back,
// and an EXT3 volume imaged on its own with old bytes in its first sector.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::string Cli(const std::filesystem::path& image) {
    return ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string()) + " ";
}

bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
    return RunCommand("cmp -s " + ShellQuote(a.string()) + " " + ShellQuote(b.string())).status == 0;
}

// One volume record as "fsName@start+sectors".
std::string Record(const std::string& fsName, std::uint64_t start, std::uint64_t sectors) {
    return fsName + "@" + std::to_string(start) + "+" + std::to_string(sectors);
}

// The volume records of `disks --json` as Record() texts.
std::vector<std::string> Records(const std::filesystem::path& image) {
    const auto json = RunCommand(Cli(image) + "disks --json").output;
    std::vector<std::string> records;
    for (std::size_t at = json.find("\"fsName\": \""); at != std::string::npos;
         at = json.find("\"fsName\": \"", at + 1)) {
        const auto number = [&](const std::string& name) {
            const auto p = json.find("\"" + name + "\": ", at) + name.size() + 4;
            return std::stoull(json.substr(p, json.find_first_of(",\n}", p) - p));
        };
        const auto name = at + 11;
        records.push_back(Record(json.substr(name, json.find('"', name) - name), number("startSector"),
                                 number("totalBytes") / 512));
    }
    return records;
}

bool Has(const std::vector<std::string>& records, const std::string& record) {
    return std::find(records.begin(), records.end(), record) != records.end();
}

// FAT32 at 2048 (40 MiB), EXT4 at 83968 (24 MiB), NTFS at 133120 (16 MiB) on a 96 MiB GPT disk, each with
// a file on it. Empty when loop devices or FUSE are missing.
std::filesystem::path MakeGptDisk(const std::string& name) {
    for (const char* tool : {"sgdisk", "mkfs.fat", "mcopy", "mke2fs", "mkntfs", "losetup"}) {
        if (!testing::ToolAvailable(tool)) return {};
    }
    const auto scratch = ImageFixtures::ScratchDir();
    const auto image = scratch / (name + ".img");
    const std::string img = ShellQuote(image.string());
    const std::string mnt = ShellQuote((scratch / (name + "-mnt")).string());
    std::filesystem::remove(image);
    const std::string make =
        "truncate -s 96M " + img +
        " && sgdisk -n1:2048:+40M -t1:0700 -c1:fatpart -n2:0:+24M -t2:8300 -c2:linux" +
        " -n3:0:+16M -t3:0700 " + img + " >/dev/null && mkfs.fat -F 32 -s 1 -n GPTFAT --offset=2048 " + img +
        " 40960 >/dev/null 2>&1 && echo fat > " + img + ".txt && mcopy -i " + img + "@@1048576 " + img +
        ".txt ::/FAT.TXT && mkdir -p " + mnt +
        " && l=$(losetup -f --show -o $((83968*512)) --sizelimit $((49152*512)) " + img +
        ") && mke2fs -q -F -t ext4 -L gptext $l && mount $l " + mnt + " && echo ext > " + mnt +
        "/ext.txt && umount " + mnt +
        " && losetup -d $l && l=$(losetup -f --show -o $((133120*512)) --sizelimit " + "$((32768*512)) " +
        img + ") && mkntfs -Q -F -q -p 133120 -H 255 -S 63 -L GPTNTFS $l && losetup -d $l";
    if (RunCommand(make).status != 0) return {};
    return image;
}

TEST(GptImages, EveryPartitionIsARecordEveryModeCanUse) {
    const auto image = MakeGptDisk("gpt-three");
    if (image.empty()) GTEST_SKIP() << "sgdisk, the mkfs tools or loop devices are missing";
    const auto records = Records(image);
    EXPECT_TRUE(Has(records, Record("FAT32", 2048, 81920)));
    EXPECT_TRUE(Has(records, Record("EXT4", 83968, 49152)));
    EXPECT_TRUE(Has(records, Record("NTFS", 133120, 32768)));
    EXPECT_TRUE(Has(records, Record("Deleted", 34, 2014)));
    const auto json = RunCommand(Cli(image) + "disks --json").output;
    EXPECT_NE(json.find("\"partitionTable\": \"GPT\""), std::string::npos);
    EXPECT_NE(json.find("\"volumeLabel\": \"gptext\""), std::string::npos);

    // Every partition scans in the deleted mode, FAT and NTFS in the formatted mode, all in RAW.
    for (const char* start : {"2048", "83968", "133120"}) {
        SCOPED_TRACE(start);
        EXPECT_EQ(RunCommand(Cli(image) + "scan --disk 0 --start " + start + " >/dev/null").status, 0);
    }
    EXPECT_EQ(RunCommand(Cli(image) + "scan --disk 0 --start 133120 --mode formatted >/dev/null").status, 0);
    const auto fat = RunCommand(Cli(image) + "scan --disk 0 --start 2048 --mode formatted");
    EXPECT_EQ(fat.status, 0) << fat.output;

    // With the primary header zeroed the backup gives the same records, and the inventory says so.
    const auto damaged = image.parent_path() / "gpt-three-noprimary.img";
    std::filesystem::copy_file(image, damaged, std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(RunCommand("dd if=/dev/zero of=" + ShellQuote(damaged.string()) +
                         " bs=512 seek=1 count=1 conv=notrunc 2>/dev/null")
                  .status,
              0);
    EXPECT_EQ(Records(damaged), records);
    EXPECT_NE(
        RunCommand(Cli(damaged) + "disks").output.find("[GPT (backup header; primary: no GPT signature)]"),
        std::string::npos);
}

TEST(GptImages, RemovedGptPartitionsAreFoundRestoredAndUndone) {
    const auto image = MakeGptDisk("gpt-removed");
    if (image.empty()) GTEST_SKIP() << "sgdisk, the mkfs tools or loop devices are missing";
    const std::string img = ShellQuote(image.string());
    ASSERT_EQ(RunCommand("sgdisk -d 2 -d 3 " + img + " >/dev/null").status, 0);
    const auto before = image.parent_path() / "gpt-removed-before.img";
    std::filesystem::copy_file(image, before, std::filesystem::copy_options::overwrite_existing);
    const std::string cli = Cli(image) + "partitions --disk 0 ";

    const auto deep = RunCommand(cli + "search --deep 2>/dev/null");
    EXPECT_NE(deep.output.find("EXT4      Start Sector : 83968   End Sector : 133119"), std::string::npos)
        << deep.output;
    EXPECT_NE(deep.output.find("NTFS      Start Sector : 133120   End Sector : 165887"), std::string::npos)
        << deep.output;

    const auto undoDir = image.parent_path() / "undo-gpt-removed";
    std::filesystem::remove_all(undoDir);
    const std::string env = "XDG_DATA_HOME=" + ShellQuote(undoDir.string()) + " ";
    const auto dryRun = RunCommand(cli + "restore --deep --start 83968 --dry-run 2>/dev/null");
    EXPECT_NE(
        dryRun.output.find(
            "GPT entry 2: start 83968, 49152 sectors (24.00 MB), type 0FC63DAF-8483-4772-8E79-3D69D8477DE4"),
        std::string::npos)
        << dryRun.output;
    EXPECT_TRUE(SameBytes(image, before)) << "a dry run wrote";
    for (const char* start : {"83968", "133120"}) {
        const auto restore = RunCommand(env + cli + "restore --deep --start " + start + " --yes 2>&1");
        ASSERT_EQ(restore.status, 0) << restore.output;
    }
    EXPECT_NE(RunCommand("sgdisk -v " + img).output.find("No problems found"), std::string::npos);
    const auto table = RunCommand("sgdisk -p " + img).output;
    EXPECT_NE(table.find("83968          133119"), std::string::npos) << table;
    EXPECT_NE(table.find("133120          165887"), std::string::npos) << table;
    EXPECT_EQ(
        RunCommand("e2fsck -fn " + ShellQuote(image.string() + "?offset=" + std::to_string(83968 * 512)) +
                   " >/dev/null 2>&1")
            .status,
        0);
    if (testing::ToolAvailable("mmls")) {
        EXPECT_NE(RunCommand("mmls " + img).output.find("0000083968   0000133119   0000049152"),
                  std::string::npos);
    }
    // The undo files put back exactly what was there, newest first.
    const auto undoFiles =
        RunCommand("ls -t " + ShellQuote((undoDir / "lumacore" / "backup").string()) + "/*.undo");
    ASSERT_EQ(undoFiles.status, 0);
    std::istringstream lines(undoFiles.output);
    for (std::string file; std::getline(lines, file);) {
        ASSERT_EQ(RunCommand(cli + "undo " + ShellQuote(file)).status, 0) << file;
    }
    EXPECT_TRUE(SameBytes(image, before)) << "the undo did not put everything back";
}

// sfdisk --delete of the first logical partition moves the next one's entry into the extended partition's
// first record: the space it leaves must still be a gap, the NTFS in it found at its exact start and
// restored ahead of the other logical partition.
TEST(GptImages, RemovedFirstLogicalNtfsIsFoundAndRestoredInOrder) {
    for (const char* tool : {"sfdisk", "mkntfs", "mke2fs", "losetup"}) {
        if (!testing::ToolAvailable(tool)) GTEST_SKIP() << tool << " is missing";
    }
    const auto scratch = ImageFixtures::ScratchDir();
    const auto image = scratch / "first-logical.img";
    const std::string img = ShellQuote(image.string());
    std::filesystem::remove(image);
    const std::string make =
        "truncate -s 100M " + img + " && printf 'start=2048,size=40960,type=c\\nstart=43008,type=f\\n" +
        "size=61440,type=7\\nsize=40960,type=83\\n' | sfdisk -q --no-reread --no-tell-kernel " + img +
        " && l=$(losetup -f --show -o $((45056*512)) --sizelimit $((61440*512)) " + img +
        ") && mkntfs -Q -F -q -p 45056 -H 255 -S 63 -L LOGICAL $l && losetup -d $l && l=$(losetup -f --show "
        "-o " +
        "$((108544*512)) --sizelimit $((40960*512)) " + img + ") && mke2fs -q -F -t ext4 $l && losetup -d $l";
    if (RunCommand(make).status != 0) GTEST_SKIP() << "no loop devices here";
    const std::string original = RunCommand("sfdisk -d " + img).output;
    ASSERT_EQ(RunCommand("sfdisk -q --delete " + img + " 5").status, 0);
    const auto before = scratch / "first-logical-before.img";
    std::filesystem::copy_file(image, before, std::filesystem::copy_options::overwrite_existing);

    EXPECT_TRUE(Has(Records(image), Record("Deleted", 43071, 65473)));
    const std::string cli = Cli(image) + "partitions --disk 0 ";
    EXPECT_NE(RunCommand(cli + "search").output.find("NTFS      Start Sector : 45056"), std::string::npos);
    const auto deep = RunCommand(cli + "search --deep 2>/dev/null").output;
    EXPECT_NE(deep.find("NTFS      Start Sector : 45056   End Sector : 106495"), std::string::npos) << deep;

    const auto undoDir = scratch / "undo-first-logical";
    std::filesystem::remove_all(undoDir);
    const auto restore = RunCommand("XDG_DATA_HOME=" + ShellQuote(undoDir.string()) + " " + cli +
                                    "restore --deep --start 45056 --yes 2>&1");
    ASSERT_EQ(restore.status, 0) << restore.output;
    // sfdisk sees the table it wrote before the removal, in the same order.
    const std::string restored = RunCommand("sfdisk -d " + img).output;
    EXPECT_EQ(restored.substr(restored.find("img1 :")), original.substr(original.find("img1 :")));
    if (testing::ToolAvailable("ntfsinfo")) {
        EXPECT_EQ(
            RunCommand("l=$(losetup -r -f --show -o $((45056*512)) --sizelimit $((61440*512)) " + img +
                       ") && ntfsinfo -m $l | grep -q 'Volume Name: LOGICAL'; s=$?; losetup -d $l; exit $s")
                .status,
            0);
    }
    const auto undoFile =
        RunCommand("ls " + ShellQuote((undoDir / "lumacore" / "backup").string()) + "/*.undo");
    ASSERT_EQ(
        RunCommand(cli + "undo " + ShellQuote(undoFile.output.substr(0, undoFile.output.find('\n')))).status,
        0);
    EXPECT_TRUE(SameBytes(image, before));
}

// An EXT3 volume imaged on its own whose first sector holds old bytes (no boot signature) is one volume.
TEST(GptImages, VolumeImageWithOldBytesInSectorZero) {
    if (!testing::ToolAvailable("mke2fs")) GTEST_SKIP() << "mke2fs is missing";
    const auto image = ImageFixtures::ScratchDir() / "noisy-ext3.img";
    const std::string img = ShellQuote(image.string());
    std::filesystem::remove(image);
    ASSERT_EQ(RunCommand("truncate -s 8M " + img + " && mke2fs -q -F -t ext3 -L noisy " + img +
                         " && printf 'old bytes from a former life %.0s' $(seq 20) | dd of=" + img +
                         " bs=512 count=1 conv=notrunc 2>/dev/null")
                  .status,
              0);
    EXPECT_EQ(Records(image), std::vector<std::string>{Record("EXT3", 0, 16384)});
    EXPECT_EQ(RunCommand(Cli(image) + "scan --disk 0 --start 0 >/dev/null").status, 0);
}

}  // namespace
}  // namespace lumacore
