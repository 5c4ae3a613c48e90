// The deleted-file scan reads the MFT as it streams past; reading it whole into memory first is the
// reference. On volumes made by mkntfs and ntfs-3g and on one Windows made, both readings must give
// the same tree, the same nodes in the same order, and the same recovered bytes.
#include <gtest/gtest.h>

#include "disk/disk_inventory.h"
#include "engines/ntfs/ntfs_volume.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;

struct Scanned {
    std::unique_ptr<CNtfsVolume> volume;
    NtfsResultTree tree;
};

// Every NTFS volume of the image, scanned with the given reading.
std::vector<Scanned> ScanVolumes(const std::filesystem::path& image, CNtfsVolume::MftReading reading) {
    std::vector<Scanned> scans;
    SystemDeviceMap::Options options;
    options.images = {image.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    if (!map) return scans;
    CDiskInventory inventory(**map);
    inventory.Refresh();
    for (int i = 0; i < inventory.volumeCount(); ++i) {
        const PartitionInfo& partition = inventory.GetVolume(i);
        if (!IsNtfsRecord(partition)) continue;
        auto disk = (*map)->OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
        if (!disk) continue;
        Scanned scan;
        scan.volume = std::make_unique<CNtfsVolume>(std::move(*disk), partition);
        ProgressFields progress;
        StopToken stop;
        EXPECT_TRUE(scan.volume->DeletedFileScan(scan.tree, FilterSettings{}, progress, stop, reading));
        scans.push_back(std::move(scan));
    }
    return scans;
}

void ExpectSameNode(const NtfsFileNode& a, const NtfsFileNode& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.streamName, b.streamName);
    EXPECT_EQ(a.recordNumber, b.recordNumber);
    EXPECT_EQ(a.imageIndex, b.imageIndex);
    EXPECT_EQ(a.pathNames, b.pathNames);
    EXPECT_EQ(a.pathRecords, b.pathRecords);
    EXPECT_EQ(a.creationTime, b.creationTime);
    EXPECT_EQ(a.modificationTime, b.modificationTime);
    EXPECT_EQ(a.accessTime, b.accessTime);
    EXPECT_EQ(a.attributes, b.attributes);
    EXPECT_EQ(a.size, b.size);
    EXPECT_EQ(a.deleted, b.deleted);
}

void ExpectSameScan(const Scanned& streamed, const Scanned& whole) {
    const NodeList& a = streamed.volume->nodes();
    const NodeList& b = whole.volume->nodes();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(b[i]->name);
        ExpectSameNode(*a[i], *b[i]);
        // The streamed volume reads the file's record back from the disk, the other from its image.
        const auto streamedBytes = streamed.volume->ReadFileData(*a[i]);
        const auto wholeBytes = whole.volume->ReadFileData(*b[i]);
        ASSERT_EQ(streamedBytes.has_value(), wholeBytes.has_value());
        if (streamedBytes) {
            EXPECT_EQ(*streamedBytes, *wholeBytes);
        }
    }
    // The same folders, in the same order, listing the same nodes.
    std::vector<std::pair<NtfsResultTree::ItemId, NtfsResultTree::ItemId>> pending{
        {streamed.volume->rootItem(), whole.volume->rootItem()}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const auto& itemA = streamed.tree.item(x);
        const auto& itemB = whole.tree.item(y);
        SCOPED_TRACE(itemB.text);
        EXPECT_EQ(itemA.text, itemB.text);
        EXPECT_EQ(itemA.data.recordNumber, itemB.data.recordNumber);
        EXPECT_EQ(itemA.data.nodes, itemB.data.nodes);
        ASSERT_EQ(itemA.children.size(), itemB.children.size());
        for (std::size_t i = 0; i < itemA.children.size(); ++i)
            pending.emplace_back(itemA.children[i], itemB.children[i]);
    }
}

TEST(NtfsStreamedScan, SameResultAsTheWholeMftInMemory) {
    std::vector<std::filesystem::path> images{
        ImageFixtures::Fixture("ntfs-deleted"),
        ImageFixtures::SharedImage("ntfs-windows10-large-dir", "ntfs.bin")};
    for (const auto& image : images) {
        ASSERT_FALSE(image.empty());
        SCOPED_TRACE(image.string());
        const auto streamed = ScanVolumes(image, CNtfsVolume::MftReading::Streamed);
        const auto whole = ScanVolumes(image, CNtfsVolume::MftReading::WholeImage);
        ASSERT_EQ(streamed.size(), whole.size());
        ASSERT_FALSE(streamed.empty());
        std::size_t nodes = 0;
        for (std::size_t v = 0; v < streamed.size(); ++v) {
            ExpectSameScan(streamed[v], whole[v]);
            nodes += streamed[v].volume->nodes().size();
        }
        EXPECT_GT(nodes, 0u);
    }
}

}  // namespace
}  // namespace lumacore
