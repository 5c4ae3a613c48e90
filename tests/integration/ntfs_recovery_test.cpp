// The NTFS deleted-file mode on images made with mkntfs and ntfs-3g, checked against the manifest of
// what was written into them, and on a volume Windows made, checked against The Sleuth Kit.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "session/ntfs_scan.h"
#include "disk/disk_inventory.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;
using testing::Sha256Tree;

struct ManifestRow {
    std::string path, sha256, state;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

std::vector<ManifestRow> NtfsManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "manifest.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("ntfs-deleted.img\t", 0) != 0) continue;
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
        if (f.size() < 8) continue;
        rows.push_back({f[3], f[5], f[7], static_cast<std::uint32_t>(std::stoul(f[1])), std::stoull(f[4])});
    }
    return rows;
}

// "folder/name" -> node, for every file the scan listed.
std::map<std::string, const NtfsFileNode*> Listed(const NtfsScan& scan) {
    std::map<std::string, const NtfsFileNode*> files;
    std::vector<std::pair<NtfsResultTree::ItemId, std::string>> pending{{scan.root, ""}};
    while (!pending.empty()) {
        const auto [id, path] = pending.back();
        pending.pop_back();
        for (std::uint32_t index : scan.tree.item(id).data.nodes) {
            files[path + scan.volume->nodes()[index]->name] = scan.volume->nodes()[index].get();
        }
        for (NtfsResultTree::ItemId child : scan.tree.item(id).children) {
            pending.emplace_back(child, path + scan.tree.item(child).text + "/");
        }
    }
    return files;
}

struct Opened {
    std::unique_ptr<SystemDeviceMap> map;
    int index = -1;
    PartitionInfo volume;
};

Opened OpenVolume(const std::filesystem::path& image, std::uint32_t start) {
    Opened o;
    SystemDeviceMap::Options options;
    options.images = {image.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    if (!map) return o;
    o.map = std::move(*map);
    CDiskInventory inventory(*o.map);
    inventory.Refresh();
    for (int i = 0; i < inventory.volumeCount(); ++i) {
        if (inventory.GetVolume(i).startSector == start && IsNtfsRecord(inventory.GetVolume(i))) {
            o.index = i;
            o.volume = inventory.GetVolume(i);
        }
    }
    return o;
}

class NtfsFixtureTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(NtfsFixtureTest, ListsEveryDeletedFileAndRecoversItByteForByte) {
    const std::uint32_t start = GetParam();
    const auto image = ImageFixtures::Fixture("ntfs-deleted");
    ASSERT_FALSE(image.empty());
    Opened opened = OpenVolume(image, start);
    ASSERT_GE(opened.index, 0);
    ProgressFields progress;
    auto scan = ScanNtfsVolume(*opened.map, opened.volume, FilterSettings{}, progress);
    ASSERT_TRUE(scan) << scan.error().message;
    const auto listed = Listed(**scan);

    const std::filesystem::path out = ImageFixtures::ScratchDir() / ("recovered-ntfs-" + std::to_string(start));
    std::filesystem::create_directories(out);
    const auto recover = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string()) +
                                    " recover --overwrite yes --volume " + std::to_string(opened.index) + " --to " +
                                    ShellQuote(out.string()) + " 2>&1");
    ASSERT_EQ(recover.status, 0) << recover.output;
    EXPECT_NE(recover.output.find(" 0 failed"), std::string::npos) << recover.output;
    const auto sums = Sha256Tree(out);

    int expected = 0;
    for (const ManifestRow& row : NtfsManifest()) {
        if (row.start != start) continue;
        SCOPED_TRACE(row.path);
        std::string path = row.path.substr(1);
        // The folder of /Reuse lost its record to a new folder: the file goes to the invented folders.
        if (path.rfind("Reuse/", 0) == 0) path = "Lost Files0/Dir0/" + path.substr(6);
        if (row.state != "deleted") {
            EXPECT_EQ(listed.count(path), 0u) << "a live file is listed";
            continue;
        }
        ++expected;
        ASSERT_EQ(listed.count(path), 1u) << "not listed";
        EXPECT_EQ(listed.at(path)->size, row.size);
        EXPECT_TRUE(listed.at(path)->deleted);
        const auto sum = sums.find(path);
        ASSERT_NE(sum, sums.end()) << "not recovered";
        EXPECT_EQ(sum->second, row.sha256);
    }
    EXPECT_GE(expected, 14);
    // The named stream lies beside its file, not in it.
    EXPECT_EQ(listed.at("downloaded.txt")->size, 400u);
    EXPECT_EQ(listed.at("downloaded.txt:Zone.Identifier")->streamName, "Zone.Identifier");
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsFixtureTest, ::testing::Values(2048u, 51200u, 67584u),
                         [](const auto& parameter) { return "start" + std::to_string(parameter.param); });

TEST(NtfsFixture, ScanTextAndJsonCarryTheNodeFields) {
    const auto image = ImageFixtures::Fixture("ntfs-deleted");
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
    const auto text = RunCommand(cli + " scan --volume 0");
    ASSERT_EQ(text.status, 0);
    EXPECT_EQ(text.output.rfind("NTFS - Logical Disk (C:)\n", 0), 0u) << text.output;
    EXPECT_NE(text.output.find("\n  Old Stuff/\n    first letter.txt\t2.0KB\tA-Del-\t"), std::string::npos);
    EXPECT_NE(text.output.find("\n    Nested/\n      deep note.txt\t600B\t"), std::string::npos);
    EXPECT_NE(text.output.find("compressible.txt\t146.5KB\tA-C-Del-\t"), std::string::npos);

    const auto json = RunCommand(cli + " scan --volume 0 --json");
    ASSERT_EQ(json.status, 0);
    for (const char* field : {"\"name\": \"deep note.txt\"", "\"folderPath\": \"/Old Stuff/Nested\"", "\"deleted\": true",
                              "\"attributes\": \"A-Sp-Del-\"", "\"stream\": \"Zone.Identifier\"", "\"recordNumber\": 5",
                              "\"name\": \"Lost Files0\"", "\"name\": \"Dir0\""}) {
        EXPECT_NE(json.output.find(field), std::string::npos) << field;
    }

    // --only takes one file, by its path in the tree.
    const std::filesystem::path out = ImageFixtures::ScratchDir() / "recovered-ntfs-only";
    const auto one = RunCommand(cli + " recover --volume 0 --to " + ShellQuote(out.string()) +
                                " --only 'Old Stuff/Nested/deep note.txt'");
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_NE(one.output.find("Recovered 1 files (600 bytes)"), std::string::npos) << one.output;
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "Old Stuff" / "Nested" / "deep note.txt"));
}

TEST(NtfsImagesByOtherHands, WindowsVolumeListsWhatTheSleuthKitLists) {
    const auto image = ImageFixtures::SharedImage("ntfs-windows10-large-dir", "ntfs.bin");
    ASSERT_FALSE(image.empty());
    Opened opened = OpenVolume(image, 0);
    ASSERT_GE(opened.index, 0);
    ProgressFields progress;
    auto scan = ScanNtfsVolume(*opened.map, opened.volume, FilterSettings{}, progress);
    ASSERT_TRUE(scan) << scan.error().message;
    const auto listed = Listed(**scan);
    EXPECT_EQ(listed.size(), 210u);
    EXPECT_EQ(listed.count("Large Directory/Directory 0/File 0.txt"), 1u);
    if (!testing::ToolAvailable("fls")) GTEST_SKIP() << "fls (sleuthkit) is not installed";
    const auto fls = RunCommand("fls -r -d -p " + ShellQuote(image.string()));
    std::set<std::string> theirs;
    std::istringstream lines(fls.output);
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        if (line.rfind("-/r", 0) == 0 && tab != std::string::npos) theirs.insert(line.substr(tab + 1));
    }
    std::set<std::string> ours;
    for (const auto& [path, node] : listed) ours.insert(path);
    EXPECT_EQ(ours, theirs);
}

}  // namespace
}  // namespace lumacore
