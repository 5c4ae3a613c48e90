#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/output_guard.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class OutputGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-output-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
        image_ = base_ / "disk.img";
        std::ofstream(image_) << "the image being read";
    }
    void TearDown() override { fs::remove_all(base_); }

    Result<FileDescriptor> Open(const fs::path& file, bool overwrite) const {
        return OutputGuard({}, {image_}).Open(file, overwrite);
    }

    fs::path base_;
    fs::path image_;
};

// Every way of naming the image, or something that is not a plain file, is refused even with the
// overwrite confirmed, and the image keeps its bytes.
TEST_F(OutputGuardTest, RefusesTheSourceAndWhatIsNotARegularFile) {
    fs::create_hard_link(image_, base_ / "hard");
    fs::create_symlink(image_, base_ / "soft");
    fs::create_symlink(base_ / "nowhere", base_ / "dangling");
    ASSERT_EQ(::mkfifo((base_ / "fifo").c_str(), 0600), 0);
    fs::create_directory(base_ / "folder");
    for (const char* name : {"disk.img", "hard", "soft", "dangling", "fifo", "folder", ".", ".."}) {
        EXPECT_FALSE(Open(base_ / name, true)) << name;
    }
    EXPECT_FALSE(Open("/dev/null", true));
    EXPECT_FALSE(fs::exists(base_ / "nowhere")) << "a dangling link was written through";
    EXPECT_EQ(Read(image_), "the image being read");
}

TEST_F(OutputGuardTest, CreatesNewFilesAndOverwritesOnlyWhenConfirmed) {
    const fs::path file = base_ / "backup.pbf";
    auto created = Open(file, false);
    ASSERT_TRUE(created) << created.error().message;
    ASSERT_TRUE(WriteAllTo(created->get(), "first version", 13));
    created->Close();

    const auto refused = Open(file, false);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("already exists"), std::string::npos);
    EXPECT_EQ(Read(file), "first version");

    auto replaced = Open(file, true);
    ASSERT_TRUE(replaced) << replaced.error().message;
    ASSERT_TRUE(WriteAllTo(replaced->get(), "new", 3));
    replaced->Close();
    EXPECT_EQ(Read(file), "new") << "an overwrite keeps no old tail";
}

// Kernel interfaces are not storage: /proc/kmsg blocks a reader for ever, a new file under /dev lands
// in memory, and /sys takes no files.
TEST_F(OutputGuardTest, RefusesPseudoFileSystems) {
    for (const char* folder : {"/proc", "/sys", "/dev", "/proc/self"}) {
        if (!fs::is_directory(folder)) continue;
        EXPECT_FALSE(CheckWritableFileSystem(folder)) << folder;
        EXPECT_FALSE(Open(fs::path(folder) / "lumacore-guard-test", true)) << folder;
    }
    EXPECT_FALSE(fs::exists("/dev/lumacore-guard-test"));
    EXPECT_TRUE(CheckWritableFileSystem(base_));
}

TEST_F(OutputGuardTest, RefusesReadOnlyMounts) {
    const fs::path mount = base_ / "ro";
    fs::create_directory(mount);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const Result<void> checked = CheckWritableFileSystem(mount);
    const auto opened = Open(mount / "file", false);
    ::umount(mount.c_str());
    ASSERT_FALSE(checked);
    EXPECT_NE(checked.error().message.find("read-only"), std::string::npos);
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace lumacore
