// `scan --bodyfile`: the found files as a body file for mactime timelines, checked field by field
// against what The Sleuth Kit's `fls -m` writes for the same files, and written only where a write is
// safe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

using Line = std::vector<std::string>;

std::vector<Line> BodyLines(const std::string& text) {
    std::vector<Line> lines;
    std::istringstream in(text);
    for (std::string row; std::getline(in, row);) {
        Line fields;
        std::istringstream cells(row);
        for (std::string cell; std::getline(cells, cell, '|');) fields.push_back(cell);
        lines.push_back(fields);
    }
    return lines;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Cli(const fs::path& image) {
    return "TZ=UTC " + ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
}

// fls -m lines of the volume at sector 2048 by their metadata address's first number.
std::multimap<std::string, Line> FlsByAddress(const fs::path& image) {
    std::multimap<std::string, Line> byAddress;
    const auto fls = RunCommand("TZ=UTC fls -m / -r -d -o 2048 " + ShellQuote(image.string()));
    for (Line& line : BodyLines(fls.output)) {
        if (line.size() != 11) continue;
        byAddress.emplace(line[2].substr(0, line[2].find('-')), line);
    }
    return byAddress;
}

class CliBodyfile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = ImageFixtures::ScratchDir() / ("bodyfile-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

// Every NTFS file we list has the size and the four $STANDARD_INFORMATION times fls gives its $DATA
// stream.
TEST_F(CliBodyfile, NtfsLinesAgreeWithFls) {
    const fs::path image = ImageFixtures::Fixture("ntfs-deleted");
    ASSERT_FALSE(image.empty());
    const auto run = RunCommand(Cli(image) + " scan --disk 0 --start 2048 --bodyfile - 2>/dev/null");
    ASSERT_EQ(run.status, 0);
    const auto ours = BodyLines(run.output);
    ASSERT_GT(ours.size(), 5u);
    if (!testing::ToolAvailable("fls")) GTEST_SKIP() << "fls (sleuthkit) is not installed";
    const auto fls = FlsByAddress(image);
    int compared = 0;
    for (const Line& line : ours) {
        ASSERT_EQ(line.size(), 11u);
        EXPECT_EQ(line[1].rfind(" (deleted)"), line[1].size() - 10) << line[1];
        const auto [first, last] = fls.equal_range(line[2]);
        for (auto it = first; it != last; ++it) {
            const Line& theirs = it->second;
            if (theirs[2].find("-128-") == std::string::npos) continue;  // a $DATA stream's line
            // The same stream: both names end with the same last component (file:stream included).
            if (!theirs[1].ends_with(line[1].substr(line[1].rfind('/')))) continue;
            SCOPED_TRACE(line[1]);
            EXPECT_EQ(line[6], theirs[6]);    // size
            EXPECT_EQ(line[7], theirs[7]);    // accessed
            EXPECT_EQ(line[8], theirs[8]);    // modified
            EXPECT_EQ(line[9], theirs[9]);    // the record's change time
            EXPECT_EQ(line[10], theirs[10]);  // created
            ++compared;
        }
    }
    EXPECT_GT(compared, 5);
}

// EXT lines carry the inode's own mode and its three times; ctime is the inode change time.
TEST_F(CliBodyfile, ExtLinesAgreeWithFls) {
    const fs::path image = ImageFixtures::Fixture("ext2-deleted");
    ASSERT_FALSE(image.empty());
    const auto run = RunCommand(Cli(image) + " scan --disk 0 --start 2048 --bodyfile - 2>/dev/null");
    ASSERT_EQ(run.status, 0);
    const auto ours = BodyLines(run.output);
    ASSERT_GT(ours.size(), 2u);
    if (!testing::ToolAvailable("fls")) GTEST_SKIP() << "fls (sleuthkit) is not installed";
    const auto fls = FlsByAddress(image);
    int compared = 0;
    for (const Line& line : ours) {
        ASSERT_EQ(line.size(), 11u);
        const auto theirs = fls.find(line[2]);
        if (theirs == fls.end()) continue;
        SCOPED_TRACE(line[1] + " / " + theirs->second[1]);
        for (int field : {3, 6, 7, 8, 9}) EXPECT_EQ(line[field], theirs->second[field]) << "field " << field;
        ++compared;
    }
    EXPECT_GT(compared, 2);
}

// A body file beside the listing: the same lines as on standard output, mactime reads it, an existing
// file is kept unless the user says to replace it, and the image being read is never the body file.
TEST_F(CliBodyfile, FileIsWrittenOnlyWhereItIsSafe) {
    const fs::path image = ImageFixtures::Fixture("fat32-deleted");
    ASSERT_FALSE(image.empty());
    const fs::path body = folder_ / "fat.body";
    const std::string scan = Cli(image) + " scan --disk 0 --start 2048 ";
    auto run = RunCommand(scan + "--bodyfile " + ShellQuote(body.string()) + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Found Deleted Files"), std::string::npos) << "the listing is still printed";
    const auto toStdout = RunCommand(scan + "--bodyfile - 2>/dev/null");
    ASSERT_EQ(toStdout.status, 0);
    EXPECT_EQ(ReadText(body), toStdout.output);
    EXPECT_EQ(toStdout.output.find("Found Deleted Files"), std::string::npos);
    EXPECT_GT(BodyLines(toStdout.output).size(), 5u);
    if (testing::ToolAvailable("mactime")) {
        const auto timeline = RunCommand("TZ=UTC mactime -b " + ShellQuote(body.string()) + " -d 2>&1");
        EXPECT_EQ(timeline.status, 0) << timeline.output;
        EXPECT_NE(timeline.output.find("(deleted)"), std::string::npos) << timeline.output;
    }

    std::ofstream(body) << "kept";
    run = RunCommand(scan + "--bodyfile " + ShellQuote(body.string()) + " --overwrite no </dev/null 2>&1");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(ReadText(body), "kept");
    run = RunCommand(scan + "--bodyfile " + ShellQuote(body.string()) + " --overwrite yes 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadText(body), toStdout.output);

    const auto size = fs::file_size(image);
    run = RunCommand(scan + "--bodyfile " + ShellQuote(image.string()) + " --overwrite yes 2>&1");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(fs::file_size(image), size);

    run = RunCommand(scan + "--bodyfile - --json 2>&1");
    EXPECT_EQ(run.status, 2) << run.output;
}

}  // namespace
}  // namespace lumacore
