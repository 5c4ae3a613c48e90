// The formatted-drive mode on volumes that real tools filled and then formatted again (fat-formatted:
// mtools + mkfs.fat; ntfs-formatted: ntfs-3g + mkntfs -Q, once over the same geometry and once with
// another cluster size): how many of the files written before the format come back byte-identical.
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

struct Written {
    std::string path;
    std::string sha256;
};

// The files written into one volume of a fixture image before it was formatted.
std::vector<Written> WrittenBeforeFormat(const std::string& image, std::uint32_t start) {
    std::vector<Written> rows;
    for (const auto& f : testing::ManifestRows(image, start)) rows.push_back({f[3], f[5]});
    return rows;
}

// Recovered files: their SHA-256 and the paths below the destination ("/folder/name") that have it.
std::multimap<std::string, std::string> RecoveredByHash(const std::filesystem::path& root) {
    std::multimap<std::string, std::string> byHash;
    for (const auto& [path, sum] : testing::Sha256Tree(root)) byHash.emplace(sum, "/" + path);
    return byHash;
}

struct FormattedVolume {
    const char* image;
    int volume;           // index in `disks --json`
    std::uint32_t start;  // first sector, as in the manifest
    // Below this folder of the destination the old paths are rebuilt; empty where the scan names the
    // old folders itself ("DIR%d" on FAT, whose root with the folders' names is wiped).
    const char* rebuiltUnder;
    int atLeastIdentical;  // files that must come back byte-identical
    int written;           // files the manifest lists for the volume
};

class FormattedImageTest : public ::testing::TestWithParam<FormattedVolume> {};

TEST_P(FormattedImageTest, FilesWrittenBeforeTheFormatComeBack) {
    const FormattedVolume v = GetParam();
    const std::string name(v.image);
    const auto image = ImageFixtures::Fixture(name.substr(0, name.size() - 4));
    ASSERT_FALSE(image.empty());
    const auto written = WrittenBeforeFormat(v.image, v.start);
    ASSERT_EQ(static_cast<int>(written.size()), v.written);

    const auto out = ImageFixtures::ScratchDir() / ("formatted-" + name + "-" + std::to_string(v.start));
    std::filesystem::remove_all(out);
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
    const auto recover = RunCommand(cli + " recover --volume " + std::to_string(v.volume) +
                                    " --mode formatted --overwrite yes --to " + ShellQuote(out.string()));
    ASSERT_EQ(recover.status, 0) << recover.output;
    const auto recovered = RecoveredByHash(out);

    int identical = 0;
    int atOwnPath = 0;
    for (const Written& w : written) {
        const auto [from, to] = recovered.equal_range(w.sha256);
        if (from == to) continue;
        ++identical;
        for (auto it = from; it != to; ++it) atOwnPath += it->second == std::string("/") + v.rebuiltUnder + w.path;
    }
    std::cout << "[ figures  ] " << v.image << " at " << v.start << ": " << identical << " of " << written.size()
              << " files byte-identical, " << atOwnPath << " at their old path\n";
    EXPECT_GE(identical, v.atLeastIdentical);
    if (*v.rebuiltUnder != '\0') {
        EXPECT_EQ(atOwnPath, identical) << "the old folder chains were not rebuilt";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FormattedImageTest,
    // FAT: everything but the two files of the root, whose names went with the root directory.
    // NTFS at 51200: the re-format's own metadata overwrote four old files' clusters.
    ::testing::Values(FormattedVolume{"fat-formatted.img", 0, 2048, "", 46, 48},
                      FormattedVolume{"fat-formatted.img", 1, 81920, "", 46, 48},
                      FormattedVolume{"ntfs-formatted.img", 0, 2048, "Old MFT Records", 48, 48},
                      FormattedVolume{"ntfs-formatted.img", 1, 51200, "Old MFT Records", 44, 48}),
    [](const auto& parameter) {
        std::string n = std::string(parameter.param.image) + "_" + std::to_string(parameter.param.start);
        for (char& c : n) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return n;
    });

// Every file the scan lists, by its folder path below the root.
std::set<std::string> ListedPaths(const NtfsScan& scan) {
    std::set<std::string> paths;
    for (const auto& node : scan.volume->nodes()) {
        std::string path;
        for (auto it = node->pathNames.rbegin(); it != node->pathNames.rend(); ++it) path += "/" + *it;
        paths.insert(path + "/" + node->name);
    }
    return paths;
}

Result<std::unique_ptr<NtfsScan>> ScanFormatted(const std::filesystem::path& image, std::uint32_t start,
                                                 SectorRange range = {}) {
    SystemDeviceMap::Options options;
    options.images = {image.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    if (!map) return map.error();
    CDiskInventory inventory(**map);
    inventory.Refresh();
    for (int i = 0; i < inventory.volumeCount(); ++i) {
        if (inventory.GetVolume(i).startSector != start) continue;
        ProgressFields progress;
        return ScanNtfsVolume(**map, inventory.GetVolume(i), FilterSettings{}, progress, NtfsScanMode::Formatted, range);
    }
    return Error::Make(ErrorKind::NotFound, "no volume");
}

TEST(NtfsFormattedScan, OnAVolumeNeverFormattedListsTheCurrentMftAndNothingTwice) {
    const auto image = ImageFixtures::Fixture("ntfs-deleted");
    ASSERT_FALSE(image.empty());
    auto scan = ScanFormatted(image, 2048);
    ASSERT_TRUE(scan) << scan.error().message;
    const auto paths = ListedPaths(**scan);
    // Live and deleted files of the current MFT alike.
    EXPECT_TRUE(paths.count("/Keep/live.bin"));
    EXPECT_TRUE(paths.count("/Keep/with stream.bin:thumbnail"));
    EXPECT_TRUE(paths.count("/Old Stuff/Nested/data.bin"));
    // No system file, and none of the current MFT's records again as a record found outside it.
    for (const std::string& path : paths) {
        EXPECT_EQ(path.find("/$"), std::string::npos) << path;
        EXPECT_NE(path.rfind("/Old MFT Records/", 0), 0u) << path;
    }
    EXPECT_GT((*scan)->volume->RecordsCounted(), (*scan)->volume->RecordCount());
}

TEST(NtfsFormattedScan, TheSectorRangeBoundsTheSearch) {
    const auto image = ImageFixtures::Fixture("ntfs-formatted");
    ASSERT_FALSE(image.empty());
    auto whole = ScanFormatted(image, 2048);
    ASSERT_TRUE(whole) << whole.error().message;
    EXPECT_GE((*whole)->volume->FoundRecordCount(), 48u);
    // The old records lie right after the new MFT near the start of the volume: a range that ends at
    // sector 64 sees the new MFT's first records only, one that starts past the old MFT none of them.
    auto head = ScanFormatted(image, 2048, SectorRange{0, 64});
    ASSERT_TRUE(head);
    EXPECT_EQ((*head)->volume->FoundRecordCount(), 0u);
    auto tail = ScanFormatted(image, 2048, SectorRange{40000, std::nullopt});
    ASSERT_TRUE(tail);
    EXPECT_EQ((*tail)->volume->FoundRecordCount(), 0u);
    EXPECT_TRUE(ListedPaths(**tail).empty());
}

}  // namespace
}  // namespace lumacore
