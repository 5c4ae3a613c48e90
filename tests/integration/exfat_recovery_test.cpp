// The exFAT engine on volumes made by mkfs.exfat and written and deleted through exfat-fuse
// (tests/fixtures/make-exfat-fixtures.sh), checked against what was written into them and against
// what The Sleuth Kit's tsk_recover got back, as recorded in tests/fixtures/exfat-manifest.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "core/filter.h"
#include "engines/exfat/exfat_extractor.h"
#include "engines/exfat/exfat_volume.h"
#include "integration/image_fixture.h"
#include "platform/device.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;

struct ManifestRow {
    std::string path, sha256, state, tsk;
    std::uint64_t size = 0;
};

std::vector<ManifestRow> ReadManifest() {
    std::vector<ManifestRow> rows;
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "exfat-manifest.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
        if (f.size() < 6) continue;
        rows.push_back({f[1], f[3], f[4], f[5], std::stoull(f[2])});
    }
    return rows;
}

std::unique_ptr<ByteSource> OpenImage(const std::filesystem::path& path) {
    auto device = Device::Open(path.string(), AccessMode::ReadOnly);
    EXPECT_TRUE(device) << path;
    if (!device) return nullptr;
    return std::move(*device);
}

PartitionInfo VolumeAt(std::uint32_t startSector) {
    PartitionInfo partition;
    partition.startSector = startSector;
    partition.driveLetter = 'E';
    partition.SetFsName("exFAT");
    return partition;
}

// Every listed file by its path below the root ("folder/name").
std::map<std::string, const ExfatFileNode*> Listed(const ExfatResultTree& tree,
                                                   ExfatResultTree::ItemId root) {
    std::map<std::string, const ExfatFileNode*> files;
    tree.BreadthFirst(root, [&](ExfatResultTree::ItemId id) {
        std::string folder;
        for (const std::string& part : tree.PathBelowRoot(id)) folder += part + "/";
        for (const auto& node : tree.item(id).data) files[folder + node->displayName] = node.get();
        return true;
    });
    return files;
}

// Copies files out through the extractor, each into a file of its own, and gives their SHA-256 sums.
class CopiedFiles {
  public:
    explicit CopiedFiles(const std::string& name) : folder_(ImageFixtures::ScratchDir() / name) {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    std::string Add(ExfatExtractor& extractor, const ExfatFileNode& node) {
        const std::string name = std::to_string(count_++);
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        const auto copied = extractor.Copy(node, [&](std::span<const std::byte> bytes) -> Result<void> {
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            return {};
        });
        EXPECT_TRUE(copied) << node.displayName << ": " << copied.error().message;
        return name;
    }
    std::map<std::string, std::string> Sums() const { return testing::Sha256Tree(folder_); }

  private:
    std::filesystem::path folder_;
    int count_ = 0;
};

class ExfatDeletedVolume : public ::testing::Test {
  protected:
    void SetUp() override {
        image_ = ImageFixtures::Fixture("exfat-deleted");
        ASSERT_FALSE(image_.empty());
        volume_ = std::make_unique<CExfatVolume>(OpenImage(image_), VolumeAt(2048));
        ASSERT_TRUE(volume_->IsOpen()) << volume_->openError().message;
    }

    std::filesystem::path image_;
    std::unique_ptr<CExfatVolume> volume_;
};

TEST_F(ExfatDeletedVolume, ListsEveryDeletedFileAndRecoversItByteForByte) {
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ASSERT_TRUE(volume_->DeletedFileScan(tree, FilterSettings{}, progress, stop));
    const ExfatResultTree::ItemId root = volume_->rootItem();
    EXPECT_EQ(tree.item(root).text, "exFAT - Logical Disk (E:)");
    const auto listed = Listed(tree, root);

    auto extractor = ExfatExtractor::Open(OpenImage(image_), VolumeAt(2048));
    ASSERT_TRUE(extractor) << extractor.error().message;
    int deleted = 0, identical = 0, tskIdentical = 0;
    CopiedFiles copies("exfat-deleted-out");
    std::vector<std::pair<std::string, std::string>> wanted;  // copy, sha256
    for (const ManifestRow& row : ReadManifest()) {
        SCOPED_TRACE(row.path);
        // The orphan folder's entry set was reused: its files come back under "Lost Files".
        const auto slash = row.path.rfind('/');
        const std::string name = slash == std::string::npos ? row.path : row.path.substr(slash + 1);
        std::string where = row.path;
        if (row.path.rfind("parent/Gone/", 0) == 0) where = "Lost Files/DIR0/" + name;
        if (row.state == "live") {
            EXPECT_EQ(listed.count(where), 0u) << "a live file of a live folder is never listed";
            continue;
        }
        ++deleted;
        tskIdentical += row.tsk == "tsk=same";
        const auto found = listed.find(where);
        ASSERT_NE(found, listed.end()) << "not listed";
        EXPECT_EQ(found->second->size, row.size);
        EXPECT_TRUE(found->second->deleted);
        wanted.emplace_back(copies.Add(*extractor, *found->second), row.sha256);
    }
    const auto sums = copies.Sums();
    for (const auto& [copy, sha256] : wanted) identical += sums.at(copy) == sha256;
    EXPECT_EQ(identical, deleted);
    EXPECT_GT(identical, tskIdentical);
    std::cout << "[ figures  ] exfat-deleted: " << identical << " of " << deleted
              << " deleted files byte-identical; tsk_recover " << tskIdentical << "\n";

    // The deleted folders keep their place and their deleted look.
    tree.BreadthFirst(root, [&](ExfatResultTree::ItemId id) {
        const auto& item = tree.item(id);
        if (item.text == "100CAMERA" || item.text == "Old" || item.text == "Sub") {
            EXPECT_EQ(item.image, 3) << item.text;
        }
        if (item.text == "DCIM") {
            EXPECT_EQ(item.image, 1);
        }
        return true;
    });
}

TEST_F(ExfatDeletedVolume, FiltersAndStopShapeTheTree) {
    ProgressFields progress;
    StopToken stop;
    FilterSettings jpegOnly;
    jpegOnly.category = 3;  // images
    jpegOnly.extensionList = FilterCategoryList(3);
    ExfatResultTree tree;
    ASSERT_TRUE(volume_->DeletedFileScan(tree, jpegOnly, progress, stop));
    const auto listed = Listed(tree, volume_->rootItem());
    EXPECT_EQ(listed.size(), 300u);
    for (const auto& [path, node] : listed) EXPECT_EQ(node->extension, "jpg") << path;
    EXPECT_EQ(progress.Text(), "Found Deleted Files : 300");

    // A stop before the start still leaves a pruned tree with its root.
    StopToken stopped;
    stopped.RequestStop();
    ExfatResultTree empty;
    EXPECT_TRUE(volume_->DeletedFileScan(empty, FilterSettings{}, progress, stopped));
    EXPECT_TRUE(empty.item(volume_->rootItem()).children.empty());
}

TEST(ExfatFormattedVolume, FindsTheOldFoldersByTheirEntrySets) {
    const auto image = ImageFixtures::Fixture("exfat-formatted");
    ASSERT_FALSE(image.empty());
    CExfatVolume volume(OpenImage(image), VolumeAt(2048));
    ASSERT_TRUE(volume.IsOpen()) << volume.openError().message;
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ASSERT_TRUE(volume.FormattedDriveScan(tree, FilterSettings{}, progress, stop));
    const auto listed = Listed(tree, volume.rootItem());
    auto extractor = ExfatExtractor::Open(OpenImage(image), VolumeAt(2048));
    ASSERT_TRUE(extractor);

    // The root directory was overwritten by the new one; every folder below it is still there, under
    // "LostDIR", named "DIR%d" at its top and by its entries below that.
    std::map<std::string, const ExfatFileNode*> byTail;
    for (const auto& [path, node] : listed) {
        ASSERT_EQ(path.rfind("LostDIR/", 0), 0u) << path;
        byTail[path.substr(path.find('/', 8) + 1)] = node;
    }
    int expected = 0, identical = 0;
    CopiedFiles copies("exfat-formatted-out");
    std::vector<std::pair<std::string, std::string>> wanted;  // copy, sha256
    for (const ManifestRow& row : ReadManifest()) {
        const auto slash = row.path.find('/');
        if (slash == std::string::npos || row.path.rfind("parent/new", 0) == 0)
            continue;  // root files went with the root
        ++expected;
        SCOPED_TRACE(row.path);
        const auto found = byTail.find(row.path.substr(slash + 1));
        ASSERT_NE(found, byTail.end()) << "not listed";
        wanted.emplace_back(copies.Add(*extractor, *found->second), row.sha256);
    }
    const auto sums = copies.Sums();
    for (const auto& [copy, sha256] : wanted) identical += sums.at(copy) == sha256;
    EXPECT_EQ(identical, expected);
    std::cout << "[ figures  ] exfat-formatted: " << identical << " of " << expected
              << " files in folders byte-identical\n";
}

}  // namespace
}  // namespace lumacore

namespace lumacore {
namespace {

TEST(ExfatLargeVolume, AFileOverFourGibibytesKeepsItsSizeAndItsFarBytes) {
    // A 6 GiB sparse volume with a deleted 4.5 GiB file of zeros stamped at the start of every MiB.
    const auto image = ImageFixtures::Fixture("exfat-large");
    ASSERT_FALSE(image.empty());
    CExfatVolume volume(OpenImage(image), VolumeAt(0));
    ASSERT_TRUE(volume.IsOpen()) << volume.openError().message;
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ASSERT_TRUE(volume.DeletedFileScan(tree, FilterSettings{}, progress, stop));
    const auto listed = Listed(tree, volume.rootItem());
    ASSERT_EQ(listed.count("huge.bin"), 1u);
    const ExfatFileNode& node = *listed.at("huge.bin");
    constexpr std::uint64_t kMiB = 1 << 20;
    EXPECT_EQ(node.size, 4608 * kMiB);

    auto extractor = ExfatExtractor::Open(OpenImage(image), VolumeAt(0));
    ASSERT_TRUE(extractor);
    for (std::uint64_t mib : {std::uint64_t{0}, std::uint64_t{4097}, std::uint64_t{4607}}) {
        std::vector<std::byte> bytes(20);
        ASSERT_TRUE(extractor->Read(node, mib * kMiB, bytes));
        char expected[21];
        std::snprintf(expected, sizeof expected, "huge.bin MiB %06llu\n",
                      static_cast<unsigned long long>(mib));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 20), std::string(expected, 20))
            << mib;
    }
}

}  // namespace
}  // namespace lumacore
