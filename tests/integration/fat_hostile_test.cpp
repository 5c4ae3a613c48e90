// Randomly damaged copies of real FAT images: every scan and every extraction must end, without a
// crash, a hang or a read outside a buffer (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <random>

#include "engines/fat/fat_extractor.h"
#include "engines/fat/fat_volume.h"
#include "integration/image_fixture.h"

namespace lumacore {
namespace {

std::vector<std::byte> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> out(bytes.size());
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

// Damages `count` bytes, most of them in the metadata at the front of the volume (boot sector, FATs,
// root directory and the first folders), where damage changes what the scan does.
void Damage(std::vector<std::byte>& image, std::uint64_t volumeOffset, std::mt19937& random, int count) {
    const std::uint64_t front = std::min<std::uint64_t>(image.size() - volumeOffset, 4u << 20);
    std::uniform_int_distribution<std::uint64_t> anywhere(volumeOffset + 512, volumeOffset + front - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int i = 0; i < count; ++i) image[anywhere(random)] = static_cast<std::byte>(value(random));
}

void ScanAndExtractEverything(std::vector<std::byte> image, const PartitionInfo& partition) {
    auto volume = MakeFatVolume(std::make_unique<MemorySource>(image), partition);
    if (!volume->IsOpen()) return;
    FatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    volume->DeletedFileScan(tree, FilterSettings{}, progress, stop);
    auto extractor = FatExtractor::Open(std::make_unique<MemorySource>(std::move(image)), partition);
    if (!extractor || volume->rootItem() == FatResultTree::kNoItem) return;
    std::vector<std::byte> buffer(64 * 1024);
    tree.BreadthFirst(volume->rootItem(), [&](FatResultTree::ItemId id) {
        // Any answer will do on hostile bytes; what counts is that every read ends within the image.
        for (const auto& node : tree.item(id).data) static_cast<void>(extractor->Read(*node, 0, buffer));
        return true;
    });
}

TEST(FatHostileImages, DamagedCopiesScanWithoutCrashOrHang) {
    struct Case {
        const char* name;
        std::uint32_t start;
        const char* fsName;
    };
    for (const Case& c : {Case{"fat32-deleted", 2048, "FAT32"}, Case{"fat16-default", 2048, "FAT"},
                          Case{"fat16-root1cluster", 2048, "FAT"}}) {
        SCOPED_TRACE(c.name);
        const auto path = testing::ImageFixtures::Fixture(c.name);
        ASSERT_FALSE(path.empty());
        const std::vector<std::byte> original = ReadFile(path);
        PartitionInfo partition;
        partition.startSector = c.start;
        partition.driveLetter = 'C';
        partition.SetFsName(c.fsName);
        for (unsigned seed = 1; seed <= 12; ++seed) {
            std::mt19937 random(seed);
            std::vector<std::byte> damaged = original;
            Damage(damaged, std::uint64_t{c.start} * 512, random, 50 + static_cast<int>(seed) * 40);
            auto done = std::async(std::launch::async, ScanAndExtractEverything, std::move(damaged), partition);
            ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "seed " << seed;
        }
    }
}

}  // namespace
}  // namespace lumacore
