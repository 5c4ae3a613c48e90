// What the command line refuses to write: the image being read in every form, kernel file systems,
// links, and existing files without the user's word.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::string Sha256(const fs::path& file) {
    return RunCommand("sha256sum < " + ShellQuote(file.string())).output.substr(0, 64);
}

// A private copy of a fixture, so that a write that gets through cannot spoil the other tests' image.
class CliOutputGuard : public ::testing::Test {
protected:
    void Use(const std::string& fixture) {
        const fs::path source = ImageFixtures::Fixture(fixture);
        if (source.empty()) GTEST_SKIP() << fixture << " is not there";
        folder_ = ImageFixtures::ScratchDir() / ("guard-" + std::to_string(::getpid()) + "-" + fixture);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        image_ = folder_ / "disk.img";
        fs::copy_file(source, image_);
        hash_ = Sha256(image_);
    }
    void TearDown() override {
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    // Runs the command line on the image with no terminal to answer questions; a hang is a failure.
    testing::CommandResult Cli(const std::string& arguments) const {
        return RunCommand("timeout 60 " + ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                          ShellQuote(image_.string()) + " " + arguments + " </dev/null 2>&1");
    }
    testing::CommandResult Backup(const std::string& target) const {
        return Cli("partitions --disk 0 backup " + target + " --overwrite yes");
    }

    fs::path folder_;
    fs::path image_;
    std::string hash_;
};

TEST_F(CliOutputGuard, BackupNeverLandsOnTheImage) {
    Use("mbr-modern2048");
    fs::create_hard_link(image_, folder_ / "hard.img");
    fs::create_symlink(image_, folder_ / "soft.img");
    for (const fs::path& target : {image_, folder_ / "hard.img", folder_ / "soft.img"}) {
        const auto run = Backup(ShellQuote(target.string()));
        EXPECT_EQ(run.status, 1) << target << ": " << run.output;
    }
    EXPECT_EQ(Sha256(image_), hash_);

    // A loop device over the image is the image too.
    const auto loop = RunCommand("losetup -f --show " + ShellQuote(image_.string()));
    if (loop.status == 0) {
        const std::string device = loop.output.substr(0, loop.output.find('\n'));
        const auto run = Backup(device);
        RunCommand("losetup -d " + device);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_EQ(Sha256(image_), hash_) << "the backup went onto the loop device's first sectors";
    }
}

TEST_F(CliOutputGuard, BackupRefusesAMountOfTheImage) {
    Use("whole-ext2");
    const fs::path mount = folder_ / "mnt";
    fs::create_directory(mount);
    if (RunCommand("mount -o loop " + ShellQuote(image_.string()) + " " + ShellQuote(mount.string())).status != 0) {
        GTEST_SKIP() << "cannot mount an ext2 image here";
    }
    const auto run = Backup(ShellQuote((mount / "backup.pbf").string()));
    const bool written = fs::exists(mount / "backup.pbf");
    RunCommand("umount " + ShellQuote(mount.string()));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("being read"), std::string::npos) << run.output;
    EXPECT_FALSE(written);
}

TEST_F(CliOutputGuard, KernelFileSystemsAreRefusedWithoutHanging) {
    Use("fat16-default");
    for (const char* target : {"/proc/kmsg", "/proc/lumacore.pbf", "/sys/lumacore.pbf", "/dev/lumacore.pbf"}) {
        const auto run = Backup(target);
        EXPECT_EQ(run.status, 1) << target << ": " << run.output;
    }
    EXPECT_FALSE(fs::exists("/dev/lumacore.pbf"));
    for (const char* folder : {"/proc", "/sys", "/dev"}) {
        const auto run = Cli(std::string("recover --volume 0 --to ") + folder + " --overwrite yes");
        EXPECT_NE(run.status, 0) << folder << ": " << run.output;
    }
    const auto save = Cli("preview --volume 0 --file 'Old Stuff/#ICTURE.bmp' --save /proc/kmsg --overwrite yes");
    EXPECT_EQ(save.status, 1) << save.output;
    EXPECT_EQ(Sha256(image_), hash_);
}

TEST_F(CliOutputGuard, ExistingFilesAreReplacedOnlyWhenAllowed) {
    Use("mbr-modern2048");
    const fs::path file = folder_ / "old.pbf";
    std::ofstream(file) << "keep me";
    const std::string target = ShellQuote(file.string());
    EXPECT_EQ(Cli("partitions --disk 0 backup " + target).status, 1) << "no terminal, no answer: kept";
    EXPECT_EQ(Cli("partitions --disk 0 backup " + target + " --overwrite no").status, 1);
    EXPECT_EQ(RunCommand("cat " + target).output, "keep me");
    const auto replaced = Cli("partitions --disk 0 backup " + target + " --overwrite yes");
    ASSERT_EQ(replaced.status, 0) << replaced.output;
    EXPECT_EQ(Cli("partitions --disk 0 load " + target).status, 0);
}

TEST_F(CliOutputGuard, SavedPreviewKeepsAnExistingFileUnlessAllowed) {
    Use("fat16-default");
    const fs::path saved = folder_ / "saved.bmp";
    std::ofstream(saved) << "keep me";
    const std::string preview = "preview --volume 0 --file 'Old Stuff/#ICTURE.bmp' --save " + ShellQuote(saved.string());
    EXPECT_EQ(Cli(preview).status, 1);
    EXPECT_EQ(RunCommand("cat " + ShellQuote(saved.string())).output, "keep me");
    EXPECT_EQ(Cli(preview + " --overwrite yes").status, 0);
    EXPECT_EQ(fs::file_size(saved), 9270u);
}

}  // namespace
}  // namespace lumacore
