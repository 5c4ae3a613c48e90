// Sizes on disk that claim more than the volume holds: the recovered file stops at the volume's end
// and is reported as failed, in the deleted and the formatted modes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::vector<char> Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Store(const fs::path& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every short entry (not a folder, not a long-name part; with `deletedOnly` only those marked 0xE5) of
// a file with data, in the volume's first `span` bytes, gets the size 0xFFFFFFFF. Returns how many.
int ClaimFourGiB(std::vector<char>& image, std::size_t volumeOffset, std::size_t span, bool deletedOnly) {
    int changed = 0;
    const std::size_t end = std::min(image.size(), volumeOffset + span);
    for (std::size_t at = volumeOffset + 512; at + 32 <= end; at += 32) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(image[at + k]); };
        const unsigned attributes = byte(11);
        if (byte(0) == 0 || (deletedOnly && byte(0) != 0xE5) || attributes == 0x0F ||
            (attributes & 0x18) != 0)
            continue;
        const unsigned cluster = byte(26) | byte(27) << 8 | byte(20) << 16 | byte(21) << 24;
        const unsigned size =
            byte(28) | byte(29) << 8 | byte(30) << 16 | static_cast<unsigned>(byte(31)) << 24;
        if (cluster < 2 || size == 0) continue;
        std::memset(&image[at + 28], 0xFF, 4);
        ++changed;
    }
    return changed;
}

struct HostileFat {
    const char* fixture;
    std::size_t volumeOffset;
    std::string mode;
};

class FatSizeBeyondVolume : public ::testing::TestWithParam<HostileFat> {};

TEST_P(FatSizeBeyondVolume, StopsAtTheVolumesEnd) {
    const HostileFat c = GetParam();
    const fs::path source = ImageFixtures::Fixture(c.fixture);
    if (source.empty()) GTEST_SKIP() << c.fixture << " is not there";
    const fs::path folder = ImageFixtures::ScratchDir() /
                            ("bounded-" + std::to_string(::getpid()) + "-" + c.fixture + "-" + c.mode);
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    std::vector<char> image = Load(source);
    const bool deleted = c.mode == "deleted";
    ASSERT_GT(ClaimFourGiB(image, c.volumeOffset, 4u << 20, deleted), 0) << "no file to change";
    const fs::path copy = folder / "hostile.img";
    Store(copy, image);

    const auto run = RunCommand("ulimit -f 1048576; " + ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                                ShellQuote(copy.string()) + " recover --volume 0 --mode " + c.mode +
                                " --to " + ShellQuote((folder / "out").string()) + " --overwrite yes 2>&1");
    EXPECT_EQ(run.status, 3) << run.output;  // done in part: the oversized files failed
    EXPECT_NE(run.output.find("size beyond the volume"), std::string::npos) << run.output;
    std::uintmax_t largest = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder / "out")) {
        if (entry.is_regular_file()) largest = std::max(largest, entry.file_size());
    }
    EXPECT_GT(largest, 0u);
    EXPECT_LE(largest, image.size() - c.volumeOffset);
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FatSizeBeyondVolume,
                         ::testing::Values(HostileFat{"fat16-default", 2048 * 512, "deleted"},
                                           HostileFat{"fat32-deleted", 2048 * 512, "deleted"},
                                           HostileFat{"fat-formatted", 2048 * 512, "formatted"}),
                         [](const auto& parameter) {
                             return parameter.param.mode + std::to_string(parameter.index);
                         });

// A deleted NTFS file that ntfs-3g made sparse, larger than its volume: the copy keeps its size and
// its data, and its hole takes no space.
TEST(NtfsSparseRecovery, HolesStayHoles) {
    for (const char* tool : {"mkntfs", "ntfs-3g"}) {
        if (!testing::ToolAvailable(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    const fs::path folder = ImageFixtures::ScratchDir() / ("sparse-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "mnt");
    const std::string image = ShellQuote((folder / "ntfs.img").string());
    const std::string mount = ShellQuote((folder / "mnt").string());
    const auto made = RunCommand(
        "truncate -s 64M " + image + " && mkntfs -F -Q -q " + image + " >/dev/null 2>&1 && ntfs-3g " + image +
        " " + mount + " && printf 'head of a sparse file' > " + mount + "/big.bin && truncate -s 200M " +
        mount + "/big.bin && rm " + mount + "/big.bin; umount " + mount);
    if (made.status != 0) GTEST_SKIP() << "no FUSE here";
    const auto run =
        RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " + image + " recover --volume 0 --to " +
                   ShellQuote((folder / "out").string()) + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    const fs::path copy = folder / "out" / "big.bin";
    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0) << run.output;
    EXPECT_EQ(st.st_size, 200 << 20);
    EXPECT_LE(st.st_blocks * 512, 1 << 20) << "the hole was written as zeros";
    EXPECT_EQ(RunCommand("head -c 21 " + ShellQuote(copy.string())).output, "head of a sparse file");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace lumacore
