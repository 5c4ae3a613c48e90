// exFAT volumes end to end through `lumacore-cli`, on the images of tests/fixtures/make-exfat-fixtures.sh
// (mkfs.exfat, files written and deleted through exfat-fuse), checked against exfat-manifest.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct ManifestRow {
    std::string path, sha256, state;
};

std::vector<ManifestRow> ReadManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "exfat-manifest.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        if (cells.size() >= 5) rows.push_back({cells[1], cells[3], cells[4]});
    }
    return rows;
}

std::string Cli(const std::string& fixture) {
    const auto image = ImageFixtures::Fixture(fixture);
    EXPECT_FALSE(image.empty()) << fixture;
    return ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
}

std::filesystem::path FreshFolder(const std::string& name) {
    const auto folder = ImageFixtures::ScratchDir() / name;
    std::filesystem::remove_all(folder);
    return folder;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(CliExfat, DisksNameTheVolumeAndScanListsTheDeletedFiles) {
    const std::string cli = Cli("exfat-deleted");
    const auto disks = RunCommand(cli + " disks");
    ASSERT_EQ(disks.status, 0) << disks.output;
    EXPECT_NE(disks.output.find(") exFAT ("), std::string::npos) << disks.output;

    const auto scan = RunCommand(cli + " scan --volume 0");
    ASSERT_EQ(scan.status, 0) << scan.output;
    EXPECT_EQ(scan.output.rfind("exFAT - Logical Disk (", 0), 0u) << scan.output;
    EXPECT_NE(scan.output.find("  Old/ (deleted)\n    notes.txt\t1.21 KB\tRW\t"), std::string::npos);
    EXPECT_NE(scan.output.find("  DCIM/\n    100CAMERA/ (deleted)\n"), std::string::npos);
    EXPECT_NE(scan.output.find("\n  large.bin\t3.00 MB\t"), std::string::npos);
    EXPECT_EQ(scan.output.find("readme.txt"), std::string::npos) << "live files are not listed";

    const auto json = RunCommand(cli + " scan --volume 0 --json");
    ASSERT_EQ(json.status, 0) << json.output;
    const auto large = json.output.find("\"name\": \"large.bin\",\n");
    ASSERT_NE(large, std::string::npos);
    const std::string fields = json.output.substr(large, json.output.find('}', large) - large);
    EXPECT_NE(fields.find("\"size\": 3145728,"), std::string::npos) << fields;
    EXPECT_NE(fields.find("\"sizeText\": \"3.00 MB\","), std::string::npos) << fields;
    EXPECT_NE(fields.find("\"validDataLength\": 3145728"), std::string::npos) << fields;
    EXPECT_NE(json.output.find("\"foundFiles\": 310,"), std::string::npos);
    EXPECT_NE(json.output.find("\"completed\": true"), std::string::npos);
}

// mkfs.exfat on a whole disk leaves no partition table, but its boot sector ends in 55 AA with zeros where
// the entries would be, which reads as an empty DOS table: the volume is still found and named.
TEST(CliExfat, VolumeMadeOnAWholeDiskIsNamedAndScanned) {
    const std::string cli = Cli("exfat-tiny");
    const auto disks = RunCommand(cli + " disks");
    ASSERT_EQ(disks.status, 0) << disks.output;
    EXPECT_NE(disks.output.find("[0] (C:\\) exFAT ("), std::string::npos) << disks.output;
    const auto scan = RunCommand(cli + " scan --volume 0 2>&1");
    ASSERT_EQ(scan.status, 0) << scan.output;
    EXPECT_EQ(scan.output.rfind("exFAT - Logical Disk (", 0), 0u) << scan.output;
}

TEST(CliExfat, RecoverGivesEveryDeletedFileBackByteIdentical) {
    const auto out = FreshFolder("cli-exfat-deleted");
    const auto run = RunCommand(Cli("exfat-deleted") + " recover --volume 0 --overwrite yes --to " +
                                ShellQuote(out.string()));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto sums = testing::Sha256Tree(out);
    std::size_t deleted = 0;
    for (const ManifestRow& row : ReadManifest()) {
        SCOPED_TRACE(row.path);
        // The folder that held the orphans was reused: its files come back under "Lost Files".
        std::string where = row.path;
        if (row.path.rfind("parent/Gone/", 0) == 0) where = "Lost Files/DIR0/" + row.path.substr(12);
        if (row.state == "live") {
            EXPECT_EQ(sums.count(where), 0u);
            continue;
        }
        ++deleted;
        const auto found = sums.find(where);
        ASSERT_NE(found, sums.end()) << "not recovered";
        EXPECT_EQ(found->second, row.sha256);
    }
    EXPECT_EQ(sums.size(), deleted);
    EXPECT_NE(run.output.find("Recovered " + std::to_string(deleted) + " files"), std::string::npos)
        << run.output;

    // --only picks one folder with what is below it.
    const auto one = FreshFolder("cli-exfat-only");
    const auto only =
        RunCommand(Cli("exfat-deleted") + " recover --volume 0 --overwrite yes --only Old --to " +
                   ShellQuote(one.string()));
    ASSERT_EQ(only.status, 0) << only.output;
    const auto picked = testing::Sha256Tree(one);
    EXPECT_EQ(picked.size(), 2u);
    EXPECT_EQ(picked.count("Old/Sub/deep.txt"), 1u);
}

TEST(CliExfat, PreviewReadsTheFoundFile) {
    const auto saved = ImageFixtures::ScratchDir() / "cli-exfat-preview.bin";
    std::filesystem::remove(saved);
    const auto run = RunCommand(Cli("exfat-deleted") + " preview --volume 0 --file small.txt --save " +
                                ShellQuote(saved.string()) + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(run.output.empty());
    // A text kind is cut at 1024 bytes as on the FAT page; this one is shorter, so it comes whole.
    const auto sum = RunCommand("sha256sum < " + ShellQuote(saved.string())).output.substr(0, 64);
    EXPECT_EQ(sum, "8027ced640880cf613ee5596d46528ce815934591b8f992a73a49121b2337b37");

    const auto missing = RunCommand(Cli("exfat-deleted") + " preview --volume 0 --file Old/none.txt 2>&1");
    EXPECT_NE(missing.status, 0);
}

TEST(CliExfat, FormattedModeFindsTheOldFoldersInTheGivenRange) {
    const std::string cli = Cli("exfat-formatted");
    const auto out = FreshFolder("cli-exfat-formatted");
    const auto run = RunCommand(cli + " recover --volume 0 --mode formatted --overwrite yes --to " +
                                ShellQuote(out.string()));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto sums = testing::Sha256Tree(out);
    // The root went with the format; the folders below it come back under "LostDIR/DIR%d".
    std::size_t expected = 0;
    for (const ManifestRow& row : ReadManifest()) {
        const auto slash = row.path.find('/');
        if (slash == std::string::npos || row.path.rfind("parent/new", 0) == 0) continue;
        ++expected;
        SCOPED_TRACE(row.path);
        const std::string tail = "/" + row.path.substr(slash + 1);
        std::size_t matches = 0;
        for (const auto& [path, sha256] : sums) {
            if (path.rfind("LostDIR/", 0) == 0 && path.ends_with(tail) && sha256 == row.sha256) ++matches;
        }
        EXPECT_EQ(matches, 1u);
    }
    EXPECT_GT(expected, 300u);

    // A range that ends before the cluster heap holds no folder.
    const auto narrow = RunCommand(cli + " scan --volume 0 --mode formatted --start 2048 --end 2050");
    EXPECT_NE(narrow.output.find("Found Formated Files : 0"), std::string::npos) << narrow.output;
    EXPECT_EQ(Count(narrow.output, "IMG_"), 0u);
}

}  // namespace
}  // namespace lumacore
