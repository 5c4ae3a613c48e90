// Disks that come in containers: an E01 made by ewfacquire and a raw image cut by split must give the
// same files as the raw image they were made from, and a damaged E01 a clear error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

class ContainerImages : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"mcopy", "mkfs.fat", "ewfacquire", "split"}) {
            if (!testing::ToolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
        }
        folder_ =
            ImageFixtures::ScratchDir() / ("containers-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // A FAT32 volume behind an MBR, with folders, files across many clusters and deleted files.
        const auto made = RunCommand(
            "set -e; cd " + ShellQuote(folder_.string()) +
            "; truncate -s 40M disk.img; printf 'start=2048, type=c\\n' | sfdisk --no-reread "
            "--no-tell-kernel disk.img >/dev/null;"
            " mkfs.fat -F 32 --offset=2048 disk.img 39936 >/dev/null;"
            " for i in 1 2 3 4 5 6; do head -c $((i * 150000 + 17)) /dev/urandom > f$i.bin; done;"
            " mmd -i disk.img@@1M ::docs ::docs/deep;"
            " mcopy -i disk.img@@1M f1.bin f2.bin ::docs/; mcopy -i disk.img@@1M f3.bin f4.bin ::docs/deep/;"
            " mcopy -i disk.img@@1M f5.bin f6.bin ::;"
            " mdel -i disk.img@@1M ::docs/f2.bin ::docs/deep/f4.bin ::f6.bin 2>&1");
        ASSERT_EQ(made.status, 0) << made.output;
    }
    void TearDown() override {
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    testing::CommandResult Cli(const std::string& image, const std::string& arguments) const {
        return RunCommand("cd " + ShellQuote(folder_.string()) + " && timeout 120 " +
                          ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image) + " " +
                          arguments + " </dev/null 2>&1");
    }

    // What a recovery writes, by path (the reports, which name the image, are left out).
    std::map<std::string, std::string> RecoverAll(const std::string& image, const std::string& to) const {
        const auto run = Cli(image, "recover --disk 0 --start 2048 --to " + to);
        EXPECT_EQ(run.status, 0) << run.output;
        return testing::Sha256Tree(folder_ / to);
    }

    fs::path folder_;
};

TEST_F(ContainerImages, E01AndSplitRawRecoverTheSameFilesAsTheRawImage) {
    const auto acquired =
        RunCommand("cd " + ShellQuote(folder_.string()) +
                   " && ewfacquire -u -t disk -f encase6 -c deflate:fast disk.img >/dev/null 2>&1"
                   " && split -b 10M -d -a 3 --numeric-suffixes=1 disk.img piece.");
    ASSERT_EQ(acquired.status, 0) << acquired.output;
    ASSERT_TRUE(fs::exists(folder_ / "disk.E01"));
    ASSERT_TRUE(fs::exists(folder_ / "piece.004"));
    fs::create_directories(folder_ / "raw");
    fs::create_directories(folder_ / "e01");
    fs::create_directories(folder_ / "split");

    const auto raw = RecoverAll("disk.img", "raw");
    ASSERT_GE(raw.size(), 3u);
    EXPECT_EQ(RecoverAll("disk.E01", "e01"), raw);
    EXPECT_EQ(RecoverAll("piece.001", "split"), raw);

    // The disk listing sees the partition and its volume through both containers.
    const auto listed = Cli("disk.E01", "disks");
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("FAT32"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("40.00 MB"), std::string::npos) << listed.output;
    const auto listedSplit = Cli("piece.001", "disks");
    EXPECT_NE(listedSplit.output.find("40.00 MB"), std::string::npos) << listedSplit.output;
}

TEST_F(ContainerImages, DamagedE01IsAClearErrorNotACrash) {
    const auto acquired =
        RunCommand("cd " + ShellQuote(folder_.string()) +
                   " && ewfacquire -u -t disk -f encase6 -c deflate:fast disk.img >/dev/null 2>&1");
    ASSERT_EQ(acquired.status, 0) << acquired.output;
    const auto cut = RunCommand(
        "cd " + ShellQuote(folder_.string()) +
        " && head -c 30000 disk.E01 > cut.E01"
        " && { head -c 13 disk.E01; head -c 100000 /dev/urandom; } > garbage.E01"
        " && { cat disk.E01; } > flipped.E01"
        " && printf '\\377\\377\\377\\377' | dd of=flipped.E01 bs=1 seek=200000 conv=notrunc 2>/dev/null");
    ASSERT_EQ(cut.status, 0) << cut.output;
    for (const char* image : {"cut.E01", "garbage.E01"}) {
        SCOPED_TRACE(image);
        const auto run = Cli(image, "disks");
        EXPECT_NE(run.status, 0) << run.output;
        EXPECT_LT(run.status, 128) << "killed by a signal: " << run.output;
        EXPECT_NE(run.output.find("E01"), std::string::npos) << run.output;
    }
    // A damaged chunk in the middle: the run ends normally; what was readable is listed.
    fs::create_directories(folder_ / "flipped-out");
    const auto run = Cli("flipped.E01", "recover --disk 0 --start 2048 --to flipped-out");
    EXPECT_LT(run.status, 128) << run.output;
}

}  // namespace
}  // namespace lumacore
