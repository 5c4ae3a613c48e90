// The EXT deleted-file mode through the library, on images made with mke2fs and the kernel's drivers
// (checked against the manifest of what was written) and on EXT images made by other hands.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "session/ext_scan.h"
#include "disk/disk_inventory.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct DeletedFile {
    std::string path;
    std::string sha256;
    std::uint64_t size = 0;
};

std::vector<DeletedFile> DeletedInManifest(const std::string& image, std::uint32_t start) {
    std::vector<DeletedFile> files;
    for (const auto& f : testing::ManifestRows(image, start)) {
        if (f[7] == "deleted") files.push_back({f[3], f[5], std::stoull(f[4])});
    }
    return files;
}

std::string Sha256(const std::filesystem::path& file) {
    return RunCommand("sha256sum < " + ShellQuote(file.string())).output.substr(0, 64);
}

// An inventory over one image file and the index of its volume that starts at `start`.
struct OpenedImage {
    std::unique_ptr<SystemDeviceMap> devices;
    std::unique_ptr<CDiskInventory> inventory;
    int volume = -1;
};

OpenedImage Open(const std::filesystem::path& image, std::uint32_t start) {
    OpenedImage opened;
    SystemDeviceMap::Options options;
    options.images = {image.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    if (!map) return opened;
    opened.devices = std::move(*map);
    opened.inventory = std::make_unique<CDiskInventory>(*opened.devices);
    opened.inventory->Refresh();
    for (int i = 0; i < opened.inventory->volumeCount(); ++i) {
        const PartitionInfo& v = opened.inventory->GetVolume(i);
        if (v.startSector == start && IsExtRecord(v)) opened.volume = i;
    }
    return opened;
}

struct Recovered {
    ExtRecoverRunResult result;
    std::map<std::string, std::filesystem::path> byName;
};

Recovered RecoverAll(ExtScan& scan, const std::filesystem::path& out) {
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    CheckAllExt(scan);
    RecoveredFileWriter writer(out, OverwritePolicy::Always, nullptr, {});
    ProgressFields progress;
    StopToken stop;
    Recovered recovered;
    recovered.result = RecoverExtFiles(scan, writer, progress, stop);
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        recovered.byName[entry.path().filename().string()] = entry.path();
    }
    return recovered;
}

struct VolumeUnderTest {
    std::string image;
    std::uint32_t start;
    const char* fsName;
    bool named;  // the journal holds the names
};

class ExtFixtureTest : public ::testing::TestWithParam<VolumeUnderTest> {};

TEST_P(ExtFixtureTest, EveryDeletedFileComesBackByteForByte) {
    const VolumeUnderTest volume = GetParam();
    const auto image = ImageFixtures::Fixture(volume.image.substr(0, volume.image.size() - 4));
    ASSERT_FALSE(image.empty());
    OpenedImage opened = Open(image, volume.start);
    ASSERT_GE(opened.volume, 0) << "no EXT volume at " << volume.start;
    const PartitionInfo& record = opened.inventory->GetVolume(opened.volume);
    EXPECT_EQ(record.FsName(), volume.fsName);

    ProgressFields progress;
    auto scan = ScanExtVolume(*opened.devices, record, FilterSettings{}, progress);
    ASSERT_TRUE(scan) << scan.error().message;
    EXPECT_TRUE((*scan)->completed);
    const auto out =
        ImageFixtures::ScratchDir() / ("ext-" + volume.image + "-" + std::to_string(volume.start));
    const Recovered recovered = RecoverAll(**scan, out);
    EXPECT_EQ(recovered.result.counts.failures, 0u);

    std::set<std::string> sums;
    for (const auto& [name, path] : recovered.byName) sums.insert(Sha256(path));
    int expected = 0;
    int identical = 0;
    for (const DeletedFile& file : DeletedInManifest(volume.image, volume.start)) {
        if (file.size == 0) continue;  // an empty file leaves nothing to recover and is not listed
        ++expected;
        SCOPED_TRACE(file.path);
        if (volume.named) {
            const std::string name = file.path.substr(file.path.rfind('/') + 1);
            auto found = recovered.byName.find(name);
            ASSERT_NE(found, recovered.byName.end()) << "not recovered under its name";
            EXPECT_EQ(Sha256(found->second), file.sha256);
        }
        identical += sums.count(file.sha256) != 0;
    }
    EXPECT_EQ(identical, expected);
    EXPECT_EQ(recovered.result.counts.filesWritten, static_cast<std::uint64_t>(expected));
    std::cout << "[ figures  ] " << volume.image << "@" << volume.start << ": " << identical << " of "
              << expected << " deleted files byte-identical\n";

    // The JSON lists the row texts and the inode numbers.
    const std::string json = ExtTreeJson(**scan);
    EXPECT_NE(json.find("\"name\": \"Lost files\""), std::string::npos);
    EXPECT_NE(json.find("\"inode\": "), std::string::npos);
    EXPECT_NE(json.find("\"attributes\": \"rw-r--\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExtFixtureTest,
                         ::testing::Values(VolumeUnderTest{"ext2-deleted.img", 2048, "EXT2", false},
                                           VolumeUnderTest{"whole-ext2.img", 0, "EXT2", false},
                                           VolumeUnderTest{"ext-journal.img", 2048, "EXT3", true},
                                           VolumeUnderTest{"ext-journal.img", 34816, "EXT3", true},
                                           VolumeUnderTest{"ext-journal.img", 83968, "EXT4", true}),
                         [](const auto& parameter) {
                             std::string n =
                                 parameter.param.image.substr(0, parameter.param.image.size() - 4) + "_" +
                                 std::to_string(parameter.param.start);
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(ExtFixtures, FilterAndPathSelection) {
    const auto image = ImageFixtures::Fixture("ext-journal");
    OpenedImage opened = Open(image, 34816);
    ASSERT_GE(opened.volume, 0);
    FilterSettings filter;
    filter.nameText = "no such name";
    ProgressFields progress;
    auto none = ScanExtVolume(*opened.devices, opened.inventory->GetVolume(opened.volume), filter, progress);
    ASSERT_TRUE(none);
    EXPECT_NE(ExtTreeText(**none).find("Found Deleted Files : 0 (0 files - 0.00 Byte)"), std::string::npos);
    filter.nameText = "indirect";
    auto scan = ScanExtVolume(*opened.devices, opened.inventory->GetVolume(opened.volume), filter, progress);
    ASSERT_TRUE(scan);
    const std::string text = ExtTreeText(**scan);
    EXPECT_NE(text.find("EXT3( EXT3_4K )\n  Lost files/\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    double-indirect.bin\t 4.20 MB\tbin\trw-r--\t"), std::string::npos) << text;
    EXPECT_NE(text.find("Found Deleted Files : 2 ("), std::string::npos) << text;

    EXPECT_FALSE(CheckExtPath(**scan, "Lost files/nothing.bin"));
    ASSERT_TRUE(CheckExtPath(**scan, "Lost files/indirect-12289.bin"));
    const auto out = ImageFixtures::ScratchDir() / "ext-only-one";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    RecoveredFileWriter writer(out, OverwritePolicy::Always, nullptr, {});
    StopToken stop;
    const auto result = RecoverExtFiles(**scan, writer, progress, stop);
    EXPECT_EQ(result.counts.filesWritten, 1u);
    EXPECT_TRUE(std::filesystem::exists(out / "indirect-12289.bin"));
}

// e2fsprogs' f_badorphan: an ext3 volume left by a kernel that stopped with deleted-but-open files.
// The journal holds older copies of 13 deleted inodes whose live copies have lost their pointers.
TEST(ExtImagesByOtherHands, BadOrphanJournalGivesBackTheDeletedInodes) {
    const auto image = ImageFixtures::SharedImage("ext3-journal-deleted-inodes", "f_badorphan.img");
    ASSERT_FALSE(image.empty());
    OpenedImage opened = Open(image, 0);
    ASSERT_GE(opened.volume, 0) << "the whole-disk EXT volume is not listed";
    EXPECT_EQ(opened.inventory->GetVolume(opened.volume).FsName(), "EXT3");
    ProgressFields progress;
    auto scan = ScanExtVolume(*opened.devices, opened.inventory->GetVolume(opened.volume), FilterSettings{},
                              progress);
    ASSERT_TRUE(scan) << scan.error().message;
    EXPECT_TRUE((*scan)->completed);
    // The image comes from a stress test that reused inode numbers quickly: the journal holds several
    // deleted files (inode generations) for many numbers, and each is listed.
    std::multimap<std::uint32_t, const ExtFileNode*> listed;
    std::size_t named = 0;
    for (const ExtFileNode* node : (*scan)->tree.item((*scan)->lostFiles).data.files) {
        listed.emplace(node->inodeNumber, node);
        named += node->name.rfind("inode_", 0) != 0 ? 1 : 0;
    }
    for (std::uint32_t inode : {45u, 89u, 103u, 104u, 105u, 106u, 107u, 110u, 112u, 114u, 115u}) {
        EXPECT_GE(listed.count(inode), 1u) << inode;
    }
    // 108 and 113 are deleted directories: only regular files are listed.
    EXPECT_EQ(listed.count(108), 0u);
    EXPECT_EQ(listed.count(113), 0u);
    // Versions the collector of the image decoded from the journal by hand.
    auto hasSize = [&](std::uint32_t inode, std::uint64_t size) {
        auto [from, to] = listed.equal_range(inode);
        for (auto it = from; it != to; ++it) {
            if (it->second->inode.size == size) return true;
        }
        return false;
    };
    EXPECT_TRUE(hasSize(103, 38067));
    EXPECT_TRUE(hasSize(45, 53300));
    EXPECT_TRUE(hasSize(89, 5483));
    EXPECT_GT(named * 2, listed.size());  // most names are in the journal's directory copies
    // Created in 2001: a five-year window would have hidden all of them.
    EXPECT_NE(ExtTreeText(**scan).find("\t2001-05-14 "), std::string::npos);

    const Recovered recovered = RecoverAll(**scan, ImageFixtures::ScratchDir() / "ext-badorphan");
    EXPECT_EQ(recovered.result.counts.failures, 0u);
    EXPECT_EQ(recovered.result.counts.filesWritten, listed.size());
    std::cout << "[ figures  ] f_badorphan: " << listed.size() << " deleted files listed (" << named
              << " named), " << recovered.result.counts.filesWritten << " written\n";
}

// dfVFS's mbr.raw: an ext2-style and an ext4 volume, both without a journal and without deleted files.
TEST(ExtImagesByOtherHands, JournalLessVolumesScanCleanly) {
    const auto image = ImageFixtures::SharedImage("mbr-linux-extended-ext2-ext4", "mbr.raw");
    ASSERT_FALSE(image.empty());
    for (const auto& [start, name] : {std::pair{1u, "EXT2"}, std::pair{131u, "EXT4"}}) {
        OpenedImage opened = Open(image, start);
        ASSERT_GE(opened.volume, 0) << start;
        EXPECT_EQ(opened.inventory->GetVolume(opened.volume).FsName(), name);
        ProgressFields progress;
        auto scan = ScanExtVolume(*opened.devices, opened.inventory->GetVolume(opened.volume),
                                  FilterSettings{}, progress);
        ASSERT_TRUE(scan) << scan.error().message;
        EXPECT_TRUE((*scan)->completed);
        EXPECT_TRUE((*scan)->engine->results().empty());
    }
}

}  // namespace
}  // namespace lumacore
