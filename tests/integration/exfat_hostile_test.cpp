// The exFAT engine on a small volume made by mkfs.exfat and exfat-fuse (tests/fixtures/images/exfat-tiny)
// after its bytes were damaged the ways real damage and hostile images do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "core/byte_reader.h"
#include "engines/exfat/exfat_extractor.h"
#include "engines/exfat/exfat_volume.h"
#include "integration/image_fixture.h"

namespace lumacore {
namespace {

class ExfatDamagedVolume : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto path = testing::ImageFixtures::Fixture("exfat-tiny");
        ASSERT_FALSE(path.empty());
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes_.resize(raw.size());
        std::memcpy(bytes_.data(), raw.data(), raw.size());
        auto g = ParseExfatBootSector(std::span<const std::byte>(bytes_).first(512));
        ASSERT_TRUE(g);
        g_ = *g;
        baseline_ = Scan(bytes_);
        ASSERT_EQ(baseline_, (std::vector<std::string>{"Old/Sub/deep.txt", "Old/notes.txt", "small.txt"}));
    }

    static PartitionInfo Partition() {
        PartitionInfo p;
        p.driveLetter = 'E';
        p.SetFsName("exFAT");
        return p;
    }

    // The sorted paths the deleted-file scan lists; "(not open)" when the volume does not open.
    static std::vector<std::string> Scan(const std::vector<std::byte>& bytes) {
        CExfatVolume volume(std::make_unique<MemorySource>(bytes), Partition());
        if (!volume.IsOpen()) return {"(not open)"};
        ExfatResultTree tree;
        ProgressFields progress;
        StopToken stop;
        volume.DeletedFileScan(tree, FilterSettings{}, progress, stop);
        std::vector<std::string> paths;
        tree.BreadthFirst(volume.rootItem(), [&](ExfatResultTree::ItemId id) {
            std::string folder;
            for (const auto& part : tree.PathBelowRoot(id)) folder += part + "/";
            for (const auto& node : tree.item(id).data) paths.push_back(folder + node->displayName);
            return true;
        });
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // Byte offset of the file entry of the set named `name` in the root directory.
    std::size_t SetOffset(const std::u16string& name) const {
        const std::size_t root = static_cast<std::size_t>(g_.ClusterOffset(g_.rootCluster));
        const auto cluster = std::span<const std::byte>(bytes_).subspan(root, g_.ClusterBytes());
        for (std::size_t i = 0; i < cluster.size() / kExfatEntrySize; ++i) {
            if (auto set = DecodeEntrySet(cluster, i); set && set->name == name)
                return root + i * kExfatEntrySize;
        }
        ADD_FAILURE() << "no such set";
        return 0;
    }

    // Rewrites a field of a set's stream entry and the set checksum to match.
    void PatchStream(std::size_t setAt, std::size_t field, std::uint64_t value, int width) {
        PutLe(bytes_, setAt + kExfatEntrySize + field, value, static_cast<std::size_t>(width));
        const std::size_t entries = std::to_integer<std::uint8_t>(bytes_[setAt + 1]) + 1;
        const auto set = std::span<const std::byte>(bytes_).subspan(setAt, entries * kExfatEntrySize);
        PutLe(bytes_, setAt + 2, ExfatSetChecksum(set), 2);
    }

    std::vector<std::byte> bytes_;
    ExfatGeometry g_;
    std::vector<std::string> baseline_;
};

TEST_F(ExfatDamagedVolume, ABrokenMainBootRegionGivesWayToTheBackup) {
    auto zeroed = bytes_;
    std::fill(zeroed.begin(), zeroed.begin() + 512, std::byte{0});
    EXPECT_EQ(Scan(zeroed), baseline_);
    auto layout = ExfatLayout::Load(*std::make_unique<MemorySource>(zeroed), 0);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->geometry().fromBackup);

    // A main region whose checksum sector does not match is passed over for a sound backup.
    auto badSum = bytes_;
    badSum[11 * 512] ^= std::byte{0xFF};
    layout = ExfatLayout::Load(*std::make_unique<MemorySource>(badSum), 0);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->geometry().fromBackup);
    EXPECT_TRUE(layout->geometry().checksumOk);

    // With both gone there is no volume.
    std::fill(zeroed.begin() + 12 * 512, zeroed.begin() + 13 * 512, std::byte{0});
    EXPECT_EQ(Scan(zeroed), std::vector<std::string>{"(not open)"});
}

TEST_F(ExfatDamagedVolume, LoopsAndCrossLinksEnd) {
    // The root directory's chain comes back to itself.
    auto looped = bytes_;
    PutLe(looped, g_.ActiveFatOffset() + std::size_t{g_.rootCluster} * 4, g_.rootCluster, 4);
    EXPECT_EQ(Scan(looped), baseline_);

    // The deleted folder "Old" points at the root directory: the root is not read twice, and Old's own
    // directory cluster, which nothing leads to now, is found by its content.
    PatchStream(SetOffset(u"Old"), 20, g_.rootCluster, 4);
    EXPECT_EQ(Scan(bytes_), (std::vector<std::string>{"Lost Files/DIR0/Sub/deep.txt",
                                                      "Lost Files/DIR0/notes.txt", "small.txt"}));
}

TEST_F(ExfatDamagedVolume, SizesAndLengthsAreBounded) {
    const std::size_t small = SetOffset(u"small.txt");
    // The valid data length ends early: the bytes past it read back as zeros.
    PatchStream(small, 8, 10, 8);
    {
        CExfatVolume volume(std::make_unique<MemorySource>(bytes_), Partition());
        ExfatResultTree tree;
        ProgressFields progress;
        StopToken stop;
        ASSERT_TRUE(volume.DeletedFileScan(tree, FilterSettings{}, progress, stop));
        const ExfatFileNode* node = tree.item(volume.rootItem()).data.at(0).get();
        ASSERT_EQ(node->displayName, "small.txt");
        auto extractor = ExfatExtractor::Open(std::make_unique<MemorySource>(bytes_), Partition());
        ASSERT_TRUE(extractor);
        std::vector<std::byte> out(100, std::byte{0x55});
        ASSERT_TRUE(extractor->Read(*node, 0, out));
        EXPECT_EQ(std::to_integer<char>(out[0]), 's');  // "small.txt block 0000000"
        EXPECT_EQ(std::count(out.begin() + 10, out.end(), std::byte{0}), 90);
    }

    // A size far past the volume: listed as stored, read as far as the volume goes, never copied whole.
    PatchStream(small, 8, std::uint64_t{1} << 62, 8);
    PatchStream(small, 24, std::uint64_t{1} << 62, 8);
    CExfatVolume volume(std::make_unique<MemorySource>(bytes_), Partition());
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ASSERT_TRUE(volume.DeletedFileScan(tree, FilterSettings{}, progress, stop));
    const ExfatFileNode* node = tree.item(volume.rootItem()).data.at(0).get();
    EXPECT_EQ(node->size, std::uint64_t{1} << 62);
    auto extractor = ExfatExtractor::Open(std::make_unique<MemorySource>(bytes_), Partition());
    ASSERT_TRUE(extractor);
    std::vector<std::byte> out(4096);
    EXPECT_FALSE(extractor->Read(*node, std::uint64_t{1} << 61, out));
    std::uint64_t written = 0;
    const auto copied = extractor->Copy(*node, [&](std::span<const std::byte> b) -> Result<void> {
        written += b.size();
        return {};
    });
    EXPECT_FALSE(copied);
    EXPECT_EQ(written, 0u);
}

TEST_F(ExfatDamagedVolume, ACutImageScansWithoutFault) {
    // The heap is cut off in the middle: the FAT still loads, the directories past the end do not.
    for (std::size_t keep : {std::size_t{20 * 512}, std::size_t{40 * 512}, bytes_.size() / 2}) {
        auto cut = bytes_;
        cut.resize(keep);
        const auto paths = Scan(cut);
        EXPECT_LE(paths.size(), baseline_.size() + 1) << keep;
    }
}

}  // namespace
}  // namespace lumacore
