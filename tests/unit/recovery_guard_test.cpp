#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "recovery/destination_guard.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1024 * 1024;

// A temp folder with a fake sysfs tree shaped like the kernel's: /sys/dev/block/MAJ:MIN links to the
// device's folder, partitions sit inside their disk's folder, loop devices have loop/backing_file.
class DestinationGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-guard-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
        sys_ = base_ / "sys";
        fs::create_directories(sys_ / "dev" / "block");
        image_ = base_ / "disk.img";
        Put(image_, "image");
    }
    void TearDown() override { fs::remove_all(base_); }

    static void Put(const fs::path& path, const std::string& text) { std::ofstream(path) << text << "\n"; }

    fs::path Device(const fs::path& dir, unsigned major, unsigned minor, std::uint64_t sectors) {
        fs::create_directories(dir);
        const std::string number = std::to_string(major) + ":" + std::to_string(minor);
        Put(dir / "dev", number);
        Put(dir / "size", std::to_string(sectors));
        fs::create_directory_symlink(dir, sys_ / "dev" / "block" / number);
        return dir;
    }
    fs::path Disk(const std::string& name, unsigned major, unsigned minor) {
        return Device(sys_ / "devices" / "pci0000:00" / "block" / name, major, minor, 1 << 24);
    }
    fs::path Partition(const fs::path& disk, const std::string& name, unsigned major, unsigned minor,
                       std::uint64_t start, std::uint64_t sectors) {
        const fs::path dir = Device(disk / name, major, minor, sectors);
        Put(dir / "partition", "1");
        Put(dir / "start", std::to_string(start));
        return dir;
    }
    fs::path Loop(const std::string& name, unsigned minor, const fs::path& backing, std::uint64_t offset,
                  std::uint64_t sectors) {
        const fs::path dir = Device(sys_ / "devices" / "virtual" / "block" / name, 7, minor, sectors);
        fs::create_directory(dir / "loop");
        Put(dir / "loop" / "backing_file", backing.string());
        Put(dir / "loop" / "offset", std::to_string(offset));
        return dir;
    }
    fs::path Mapper(const std::string& name, unsigned minor, const fs::path& slave) {
        const fs::path dir = Device(sys_ / "devices" / "virtual" / "block" / name, 253, minor, 1 << 20);
        fs::create_directory(dir / "slaves");
        fs::create_directory_symlink(slave, dir / "slaves" / slave.filename());
        return dir;
    }

    bool Writes(unsigned major, unsigned minor, const SourceDevice& source) {
        return WritesOntoSource(makedev(major, minor), source, sys_);
    }

    fs::path base_;
    fs::path sys_;
    fs::path image_;
};

TEST_F(DestinationGuardTest, BlockDeviceSource) {
    const fs::path sda = Disk("sda", 8, 0);
    const fs::path sda1 = Partition(sda, "sda1", 8, 1, 2048, 204800);
    const fs::path sda2 = Partition(sda, "sda2", 8, 2, 206848, 409600);
    Disk("sdb", 8, 16);
    Mapper("dm-0", 0, sda1);
    Mapper("dm-1", 1, sda2);

    SourceDevice disk{true, makedev(8, 0), "/dev/sda", 2048 * 512, 204800 * 512};
    EXPECT_TRUE(Writes(8, 1, disk));    // the partition being read
    EXPECT_FALSE(Writes(8, 2, disk));   // another partition of the same disk
    EXPECT_TRUE(Writes(8, 0, disk));    // a file system on the whole disk
    EXPECT_FALSE(Writes(8, 16, disk));  // another disk
    EXPECT_FALSE(Writes(0, 45, disk));  // no block device behind it (tmpfs, overlay)
    EXPECT_TRUE(Writes(253, 0, disk));  // a mapping over the partition being read
    EXPECT_FALSE(Writes(253, 1, disk));

    // A deleted partition whose space a newer partition now holds: writing there overwrites the source.
    SourceDevice deleted{true, makedev(8, 0), "/dev/sda", (206848 + 2048) * 512, 10 * kMiB};
    EXPECT_TRUE(Writes(8, 2, deleted));
    EXPECT_FALSE(Writes(8, 1, deleted));

    SourceDevice partition{true, makedev(8, 1), "/dev/sda1", 0, 204800 * 512};  // read through sda1 itself
    EXPECT_TRUE(Writes(8, 1, partition));
    EXPECT_FALSE(Writes(8, 2, partition));
}

TEST_F(DestinationGuardTest, LoopDeviceOverTheSourceImage) {
    fs::create_symlink(image_, base_ / "image-link");
    Put(base_ / "other.img", "other");
    Loop("loop0", 0, base_ / "image-link", kMiB, 2048);  // backing file named through a link
    Loop("loop1", 1, image_, 4 * kMiB, 2048);
    Loop("loop2", 2, base_ / "other.img", kMiB, 2048);
    const fs::path loop3 = Loop("loop3", 3, image_, 0, 1 << 16);
    Partition(loop3, "loop3p1", 259, 0, 2048, 2048);
    Partition(loop3, "loop3p2", 259, 1, 8192, 2048);
    Loop("loop4", 4, base_ / "deleted.img (deleted)", kMiB, 2048);

    SourceDevice image{false, 0, fs::canonical(image_), kMiB, kMiB};
    EXPECT_TRUE(Writes(7, 0, image));
    EXPECT_FALSE(Writes(7, 1, image));  // the same image, past the partition
    EXPECT_FALSE(Writes(7, 2, image));
    EXPECT_TRUE(Writes(259, 0, image));  // loop over the whole image, partition at 1 MiB
    EXPECT_FALSE(Writes(259, 1, image));
    EXPECT_FALSE(Writes(7, 4, image));

    SourceDevice unknownLength{false, 0, fs::canonical(image_), 3 * kMiB, 0};  // reaches to the end
    EXPECT_TRUE(Writes(7, 1, unknownLength));
    EXPECT_FALSE(Writes(7, 0, unknownLength));
}

TEST_F(DestinationGuardTest, CheckDestinationFolder) {
    const fs::path dest = base_ / "out";
    fs::create_directory(dest);
    const RecoverySource source{image_.string(), 0, kMiB};

    const Result<void> missing = CheckDestination(base_ / "nowhere", source, sys_);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ErrorKind::NotFound);
    const Result<void> file = CheckDestination(image_, source, sys_);
    ASSERT_FALSE(file);
    EXPECT_EQ(file.error().kind, ErrorKind::InvalidArgument);
    EXPECT_FALSE(CheckDestination(dest, RecoverySource{(base_ / "no.img").string(), 0, kMiB}, sys_));

    // Next to the image on the file system that holds it is fine...
    EXPECT_TRUE(CheckDestination(dest, source, sys_));

    // ...unless that file system is mounted from a loop device over the image's partition.
    struct stat st {};
    ASSERT_EQ(::stat(dest.c_str(), &st), 0);
    const fs::path loop = sys_ / "devices" / "virtual" / "block" / "loop9";
    fs::create_directories(loop / "loop");
    Put(loop / "loop" / "backing_file", image_.string());
    Put(loop / "loop" / "offset", "0");
    fs::create_directory_symlink(
        loop,
        sys_ / "dev" / "block" / (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))));
    const Result<void> refused = CheckDestination(dest, source, sys_);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ErrorKind::InvalidArgument);
    EXPECT_EQ(
        refused.error().message,
        "The lost files can\xE2\x80\x99t be recovered to the same drive where they were originally located. "
        "Please select another partition.");
}

TEST_F(DestinationGuardTest, IsSameFileFollowsLinks) {
    fs::create_symlink(image_, base_ / "soft");
    fs::create_hard_link(image_, base_ / "hard");
    Put(base_ / "copy", "image");
    EXPECT_TRUE(IsSameFile(image_, image_));
    EXPECT_TRUE(IsSameFile(image_, base_ / "soft"));
    EXPECT_TRUE(IsSameFile(base_ / "hard", base_ / "soft"));
    EXPECT_FALSE(IsSameFile(image_, base_ / "copy"));
    EXPECT_FALSE(IsSameFile(base_ / "missing", base_ / "missing"));
}

}  // namespace
}  // namespace lumacore
