// Where a found FAT file's data is read from: the plan made from the FAT as it is today, and the
// extraction that follows it, on byte-built volumes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engines/fat/fat_data_plan.h"
#include "engines/fat/fat_extractor.h"

namespace lumacore {
namespace {

constexpr std::uint32_t kEnd = 0x0FFFFFFF;

struct PlanCase {
    FatGeometry g;
    std::vector<std::uint32_t> fat;
    FatClusterBitmap inUse;

    explicit PlanCase(std::uint32_t clusters) : fat(clusters + 2, 0), inUse(std::uint64_t{clusters} + 2) {
        g.kind = FatKind::Fat32;
        g.bytesPerSector = 512;
        g.sectorsPerCluster = 1;
        g.clusterCount = clusters;
        inUse.set(0);
        inUse.set(1);
    }
    // A live chain through `clusters`, in order.
    void Chain(std::initializer_list<std::uint32_t> clusters) {
        const std::vector<std::uint32_t> c(clusters);
        for (std::size_t i = 0; i < c.size(); ++i) {
            fat[c[i]] = i + 1 < c.size() ? c[i + 1] : kEnd;
            inUse.set(c[i]);
        }
    }
    FatFileNode Planned(std::uint32_t first, std::uint32_t size, bool deleted = true) const {
        FatFileNode node;
        node.firstCluster = first;
        node.size = size;
        node.deleted = deleted;
        FatDataPlanner(g, fat, inUse).Plan(node);
        return node;
    }
};

bool SameRuns(const std::vector<FatClusterRun>& runs,
              std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> want) {
    if (runs.size() != want.size()) return false;
    std::size_t i = 0;
    for (const auto& [first, count] : want) {
        if (runs[i].first != first || runs[i].count != count) return false;
        ++i;
    }
    return true;
}

TEST(FatDataPlan, DeletedFilesStepOverTheClustersLiveFilesOwn) {
    PlanCase v(300);
    v.Chain({12, 13});
    v.Chain({20});

    // All the clusters it needs are free and in a row: one piece, read as before.
    FatFileNode node = v.Planned(5, 3 * 512);
    EXPECT_EQ(node.dataState, FatDataState::Intact);
    EXPECT_TRUE(node.runs.empty());

    // Written around a live file: the live clusters are skipped, and the list is told.
    node = v.Planned(10, 5 * 512 - 7);
    EXPECT_EQ(node.dataState, FatDataState::Skipped);
    EXPECT_TRUE(SameRuns(node.runs, {{10, 2}, {14, 3}}));

    // The start belongs to a live file today: nothing better than the old read is known.
    node = v.Planned(12, 100);
    EXPECT_EQ(node.dataState, FatDataState::Overwritten);
    EXPECT_TRUE(node.runs.empty());

    // The volume ends before the size is reached.
    node = v.Planned(298, 10 * 512);
    EXPECT_EQ(node.dataState, FatDataState::Short);
    EXPECT_TRUE(SameRuns(node.runs, {{298, 4}}));

    // Empty files need no cluster at all; a first cluster outside the volume has nothing to read.
    EXPECT_EQ(v.Planned(0, 0).dataState, FatDataState::Intact);
    EXPECT_EQ(v.Planned(0, 10).dataState, FatDataState::Short);
    EXPECT_EQ(v.Planned(400, 10).dataState, FatDataState::Short);
}

TEST(FatDataPlan, SkipsLongStretchesOfLiveDataAcrossBitmapWords) {
    // Far more than one word, and than one summary word (4,096 clusters), of live data in between.
    PlanCase v(20000);
    for (std::uint32_t c = 51; c < 15000; ++c) v.inUse.set(c);
    const FatFileNode node = v.Planned(49, 4 * 512);
    EXPECT_EQ(node.dataState, FatDataState::Skipped);
    EXPECT_TRUE(SameRuns(node.runs, {{49, 2}, {15000, 2}}));
    EXPECT_EQ(v.inUse.NextClear(63), 15000u);
    EXPECT_EQ(v.inUse.NextClear(20001), 20001u);
    EXPECT_EQ(v.inUse.NextClear(20002), 20002u);  // past the last cluster: none
    for (std::uint32_t c = 15000; c < 20002; ++c) v.inUse.set(c);
    EXPECT_EQ(v.inUse.NextClear(51), 20002u);
    EXPECT_EQ(v.Planned(49, 4 * 512).dataState, FatDataState::Short);
}

TEST(FatDataPlan, LiveFilesFollowTheirChainOnlyWhenItIsWhole) {
    PlanCase v(300);
    v.Chain({30, 31, 40, 41, 50});

    // A live file of a deleted folder whose chain is intact and as long as its size: read along it.
    FatFileNode node = v.Planned(30, 5 * 512, false);
    EXPECT_EQ(node.dataState, FatDataState::Intact);
    EXPECT_TRUE(SameRuns(node.runs, {{30, 2}, {40, 2}, {50, 1}}));

    // The same chain for a bigger or smaller size is not the file's own; neither is a deleted entry's.
    EXPECT_EQ(v.Planned(30, 6 * 512, false).dataState, FatDataState::Overwritten);
    EXPECT_EQ(v.Planned(30, 3 * 512, false).dataState, FatDataState::Overwritten);
    EXPECT_EQ(v.Planned(30, 5 * 512, true).dataState, FatDataState::Overwritten);

    // A chain that loops back ends the walk instead of running forever.
    PlanCase loop(100);
    loop.fat[60] = 61;
    loop.fat[61] = 60;
    loop.inUse.set(60);
    loop.inUse.set(61);
    EXPECT_EQ(loop.Planned(60, 50 * 512, false).dataState, FatDataState::Overwritten);

    // A live entry whose chain is gone (freed but never marked deleted) is planned like a deleted one.
    EXPECT_EQ(v.Planned(100, 3 * 512, false).dataState, FatDataState::Intact);
}

// A FAT32 volume of 4,000 512-byte sectors: 32 reserved, two FATs of 32 sectors, data from sector 96;
// cluster N holds the byte N % 251 in its first byte and its number in every other.
std::vector<std::byte> SmallFat32Volume() {
    std::vector<std::byte> v(4000 * 512);
    auto put = [&v](std::size_t at, std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) v[at + i] = std::byte((value >> (8 * i)) & 0xFF);
    };
    v[0] = std::byte{0xEB};
    v[1] = std::byte{0x58};
    put(0x0B, 512, 2);
    v[0x0D] = std::byte{1};
    put(0x0E, 32, 2);
    v[0x10] = std::byte{2};
    put(0x20, 4000, 4);
    put(0x24, 32, 4);
    put(0x2C, 2, 4);
    for (std::uint32_t c = 2; c < 3906; ++c) {
        std::memset(v.data() + (96 + c - 2) * 512, static_cast<int>(c & 0xFF), 512);
        v[(96 + c - 2) * 512] = std::byte(c % 251);
    }
    return v;
}

std::vector<std::byte> Copied(FatExtractor& extractor, const FatFileNode& node, bool& ok) {
    std::vector<std::byte> data;
    const auto copied = extractor.Copy(node, [&](std::span<const std::byte> block) -> Result<void> {
        data.insert(data.end(), block.begin(), block.end());
        return {};
    });
    ok = static_cast<bool>(copied);
    return data;
}

TEST(FatExtraction, FollowsThePlannedRunsAndWritesEmptyFiles) {
    PartitionInfo partition;
    partition.SetFsName("FAT32");
    auto extractor = FatExtractor::Open(std::make_unique<MemorySource>(SmallFat32Volume()), partition);
    ASSERT_TRUE(extractor) << extractor.error().message;

    // An empty file has first cluster 0: it comes back empty, and that is a success.
    FatFileNode empty;
    bool ok = false;
    EXPECT_TRUE(Copied(*extractor, empty, ok).empty());
    EXPECT_TRUE(ok);

    // Three pieces: clusters 10-11, 14 and 20, the last one only in part.
    FatFileNode node;
    node.firstCluster = 10;
    node.size = 3 * 512 + 300;
    node.runs = {{10, 2}, {14, 1}, {20, 1}};
    const std::vector<std::byte> data = Copied(*extractor, node, ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(data.size(), node.size);
    EXPECT_EQ(data[0], std::byte{10});
    EXPECT_EQ(data[512], std::byte{11});
    EXPECT_EQ(data[1024], std::byte{14});
    EXPECT_EQ(data[1536], std::byte{20});
    EXPECT_EQ(data[1537], std::byte{20});

    // A read from the middle of the file starts in the right piece.
    std::vector<std::byte> tail(200);
    auto got = extractor->Read(node, 1024 + 510, tail);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, 200u);
    EXPECT_EQ(tail[2], std::byte{20});

    // The pieces end before the size: the rest is zeros and the copy says so.
    node.runs = {{10, 1}};
    const std::vector<std::byte> cut = Copied(*extractor, node, ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(cut.size(), node.size);
    EXPECT_EQ(cut[0], std::byte{10});
    EXPECT_EQ(cut[600], std::byte{0});

    // No plan: consecutive clusters from the first one, as the formatted-drive scan reads.
    node.runs.clear();
    const std::vector<std::byte> plain = Copied(*extractor, node, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(plain[1536], std::byte{13});
}

}  // namespace
}  // namespace lumacore
