// `--offset SECTOR`: a volume whose partition table is gone is read where it starts, as fls -o reads it.
#include <gtest/gtest.h>

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

// A copy of `fixture` whose partition entries are zeroed: no table names its volume any more.
fs::path WithoutTable(const std::string& fixture, const std::string& name) {
    const fs::path source = ImageFixtures::Fixture(fixture);
    const fs::path copy = ImageFixtures::ScratchDir() / (name + "-" + std::to_string(::getpid()) + ".img");
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
    std::fstream image(copy, std::ios::in | std::ios::out | std::ios::binary);
    image.seekp(0x1BE);
    const std::string zeros(64, '\0');
    image.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    return copy;
}

// The "path" fields of a JSON listing, in order.
std::string Paths(const std::string& command) {
    return RunCommand(command +
                      " --json | python3 -c \"import json,sys; "
                      "print('\\n'.join(f['path'] for f in json.load(sys.stdin)['files']))\"")
        .output;
}

TEST(CliOffset, AVolumeWithoutItsTableIsReadWhereItStarts) {
    const fs::path intact = ImageFixtures::Fixture("fat16-default");
    ASSERT_FALSE(intact.empty());
    const fs::path lost = WithoutTable("fat16-default", "offset-fat16");
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image ";

    // Without the table the volume is not listed; with --offset it is, with an index of its own.
    const auto plain = RunCommand(cli + ShellQuote(lost.string()) + " disks --index");
    EXPECT_EQ(plain.output.find("#FAT16#"), std::string::npos) << plain.output;
    const auto listed = RunCommand(cli + ShellQuote(lost.string()) + " disks --index --offset 2048");
    ASSERT_EQ(listed.status, 0) << listed.output;
    const auto line = listed.output.find("#FAT16#");
    ASSERT_NE(line, std::string::npos) << listed.output;
    const auto open = listed.output.rfind('[', line);
    const std::string index = listed.output.substr(open + 1, listed.output.find(']', open) - open - 1);

    // The same files as through the table, by --offset alone and by the index it was given.
    const std::string expected = Paths(cli + ShellQuote(intact.string()) + " scan --volume 0");
    ASSERT_NE(expected.find("deleted-contiguous.bin"), std::string::npos) << expected;
    EXPECT_EQ(Paths(cli + ShellQuote(lost.string()) + " scan --offset 2048"), expected);
    EXPECT_EQ(Paths(cli + ShellQuote(lost.string()) + " scan --disk 0 --offset 2048 --volume " + index),
              expected);

    // The Sleuth Kit reads the volume at the same place.
    if (testing::ToolAvailable("fls")) {
        const auto fls = RunCommand("fls -r -o 2048 " + ShellQuote(lost.string()));
        EXPECT_NE(fls.output.find("deleted-contiguous.bin"), std::string::npos) << fls.output;
    }

    // Where nothing starts, or past the disk's end, it is a usage error naming the sector.
    for (const char* wrong : {"1000", "99999999", "x"}) {
        const auto run = RunCommand(cli + ShellQuote(lost.string()) + " scan --offset " + wrong + " 2>&1");
        EXPECT_EQ(run.status, 2) << wrong << ": " << run.output;
    }
    fs::remove(lost);
}

TEST(CliOffset, ExtVolumesAreNamedByTheirSuperblock) {
    const fs::path lost = WithoutTable("ext2-deleted", "offset-ext2");
    const auto listed = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                                   ShellQuote(lost.string()) + " disks --index --offset 2048");
    EXPECT_NE(listed.output.find(") EXT2 ("), std::string::npos) << listed.output;
    const auto recovered = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                                      ShellQuote(lost.string()) + " recover --offset 2048 --inode 16 --to " +
                                      ShellQuote((ImageFixtures::ScratchDir() / "offset-ext2-out").string()));
    EXPECT_EQ(recovered.status, 0) << recovered.output;
    EXPECT_EQ(recovered.output.rfind("Recovered 1 files (300000 bytes)", 0), 0u) << recovered.output;
    fs::remove_all(ImageFixtures::ScratchDir() / "offset-ext2-out");
    fs::remove(lost);
}

}  // namespace
}  // namespace lumacore
