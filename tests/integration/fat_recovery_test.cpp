// The FAT deleted-file mode on images made with mkfs.fat and mtools, checked against the manifest of
// what was written into them and against The Sleuth Kit's findings recorded there.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "session/fat_scan.h"
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
    std::string image, fs, path, sha256, state, tskIcat;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

std::vector<ManifestRow> ReadManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "manifest.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.rfind("image\t", 0) == 0) continue;
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
        if (f.size() < 10) continue;
        rows.push_back({f[0], f[2], f[3], f[5], f[7], f[9], static_cast<std::uint32_t>(std::stoul(f[1])),
                        std::stoull(f[4])});
    }
    return rows;
}

// Paths of everything the scan listed, "/folder/name", with sizes.
std::map<std::string, std::uint64_t> ListedFiles(const FatScan& scan) {
    std::map<std::string, std::uint64_t> files;
    scan.tree.BreadthFirst(scan.root, [&](FatResultTree::ItemId id) {
        std::string folder;
        for (const std::string& part : scan.tree.PathBelowRoot(id)) folder += "/" + part;
        for (const auto& node : scan.tree.item(id).data) files[folder + "/" + node->displayName] = node->size;
        return true;
    });
    return files;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The listed path that stands for a file written as `path`: long names come back whole; an 8.3-only
// name of a deleted entry comes back with '#' for its lost first letter, its case as stored.
std::string FindListed(const std::map<std::string, std::uint64_t>& listed, const std::string& path) {
    if (listed.count(path)) return path;
    const auto slash = path.rfind('/');
    const std::string wanted = Lower(path.substr(0, slash + 1) + "#" + path.substr(slash + 2));
    for (const auto& [candidate, size] : listed) {
        if (Lower(candidate) == wanted) return candidate;
    }
    return {};
}

struct VolumeUnderTest {
    std::string image;
    std::uint32_t start;
};

class FatFixtureTest : public ::testing::TestWithParam<VolumeUnderTest> {};

TEST_P(FatFixtureTest, FindsEveryIntactDeletedFileAndRecoversItByteForByte) {
    const VolumeUnderTest volume = GetParam();
    const std::string name = volume.image.substr(0, volume.image.size() - 4);
    const auto image = name == "sample-disk" ? std::filesystem::path() : ImageFixtures::Fixture(name);
    const auto path = name == "sample-disk" ? ImageFixtures::SourceDir() / "samples" / "sample-disk.img.zst" : image;
    std::filesystem::path unpacked = image;
    if (name == "sample-disk") {
        unpacked = ImageFixtures::ScratchDir() / "sample-disk.img";
        if (!std::filesystem::exists(unpacked)) {
            ASSERT_EQ(RunCommand("zstd -d -q -f " + ShellQuote(path.string()) + " -o " + ShellQuote(unpacked.string())).status, 0);
        }
    }
    ASSERT_FALSE(unpacked.empty());

    SystemDeviceMap::Options options;
    options.images = {unpacked.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    ASSERT_TRUE(map);
    CDiskInventory inventory(**map);
    inventory.Refresh();
    int index = -1;
    for (int i = 0; i < inventory.volumeCount(); ++i) {
        if (inventory.GetVolume(i).startSector == volume.start && inventory.GetVolume(i).driveLetter != '*') index = i;
    }
    ASSERT_GE(index, 0);
    ProgressFields progress;
    auto scan = ScanFatVolume(**map, inventory.GetVolume(index), FilterSettings{}, progress);
    ASSERT_TRUE(scan) << scan.error().message;
    EXPECT_TRUE((*scan)->completed);
    const auto listed = ListedFiles(**scan);

    const std::filesystem::path out = ImageFixtures::ScratchDir() / ("recovered-" + name + "-" + std::to_string(volume.start));
    std::filesystem::create_directories(out);
    const auto recover = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(unpacked.string()) +
                                    " recover --overwrite yes --volume " + std::to_string(index) + " --to " +
                                    ShellQuote(out.string()));
    ASSERT_EQ(recover.status, 0) << recover.output;
    const auto sums = Sha256Tree(out);

    int expected = 0;
    int identical = 0;
    for (const ManifestRow& row : ReadManifest()) {
        if (row.image != volume.image || row.start != volume.start || row.state != "deleted") continue;
        // Files whose clusters were reused cannot come back; The Sleuth Kit fails on them too.
        if (row.tskIcat != "match") continue;
        ++expected;
        SCOPED_TRACE(row.path);
        const std::string found = FindListed(listed, row.path);
        ASSERT_FALSE(found.empty()) << "not listed";
        EXPECT_EQ(listed.at(found), row.size);
        // A deleted file written into holes comes back whole: the live clusters between its pieces are
        // skipped.
        const auto sum = sums.find(found.substr(1));
        ASSERT_NE(sum, sums.end()) << "not recovered";
        EXPECT_EQ(sum->second, row.sha256);
        identical += sum->second == row.sha256;
    }
    EXPECT_GT(expected, 0);
    std::cout << "[ figures  ] " << volume.image << "@" << volume.start << ": " << identical
              << " deleted files byte-identical, " << expected << " expected to be listed\n";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FatFixtureTest,
                         ::testing::Values(VolumeUnderTest{"fat16-root1cluster.img", 2048},
                                           VolumeUnderTest{"fat16-default.img", 2048},
                                           VolumeUnderTest{"fat16-sector63.img", 63},
                                           VolumeUnderTest{"fat32-deleted.img", 2048},
                                           VolumeUnderTest{"mbr-legacy63.img", 63},
                                           VolumeUnderTest{"mbr-modern2048.img", 2048},
                                           VolumeUnderTest{"mbr-modern2048.img", 45056},
                                           VolumeUnderTest{"whole-fat32.img", 0},
                                           VolumeUnderTest{"whole-fat16.img", 0},
                                           VolumeUnderTest{"sample-disk.img", 2048}),
                         [](const auto& parameter) {
                             std::string n = parameter.param.image.substr(0, parameter.param.image.size() - 4) + "_" +
                                              std::to_string(parameter.param.start);
                             for (char& c : n) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(FatImagesByOtherHands, LinuxMkdosfsVolumeGivesBackItsDeletedFile) {
    const auto image = ImageFixtures::SharedImage("fat16-linux-mkdosfs", "fat-img-kw.dd");
    ASSERT_FALSE(image.empty());
    const std::filesystem::path out = ImageFixtures::ScratchDir() / "recovered-kw";
    std::filesystem::create_directories(out);
    const auto recover = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string()) +
                                    " recover --volume 0 --to " + ShellQuote(out.string()));
    ASSERT_EQ(recover.status, 0);
    EXPECT_NE(recover.output.find("Recovered 1 files (512 bytes)"), std::string::npos) << recover.output;
    if (!testing::ToolAvailable("icat")) GTEST_SKIP() << "icat (sleuthkit) is not installed";
    const auto theirs = RunCommand("icat " + ShellQuote(image.string()) + " 12 | sha256sum");
    const auto ours = RunCommand("sha256sum < " + ShellQuote((out / "#ILE5.dat").string()));
    EXPECT_EQ(ours.output.substr(0, 64), theirs.output.substr(0, 64));
}

TEST(FatImagesByOtherHands, WindowsFloppyScansCleanly) {
    const auto image = ImageFixtures::SharedImage("fat12-winxp-floppy", "daylight.dd");
    const auto scan = RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string()) +
                                 " scan --volume 0 --json");
    EXPECT_EQ(scan.status, 0);
    EXPECT_NE(scan.output.find("\"name\": \"FAT16 - Logical Disk (C:)\""), std::string::npos) << scan.output;
    EXPECT_NE(scan.output.find("\"completed\": true"), std::string::npos);
}

}  // namespace
}  // namespace lumacore
