// EXT superblock, descriptors, inodes, block maps, extent trees, journal tags and the list's texts,
// on byte-built structures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>

#include "core/dos_date.h"
#include "engines/ext/ext_block_map.h"
#include "engines/ext/ext_row_text.h"
#include "engines/ext/ext_structures.h"
#include "engines/ext/ext_volume.h"
#include "unit/ext_test_volume.h"

namespace lumacore {
namespace {

// Sets TZ for one block, so that local-time texts do not depend on the machine running the tests.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> old_;
};

using testing::ExtTestVolume;

std::vector<std::byte> SuperblockBytes(ExtTestVolume& v) {
    return {v.bytes().begin() + 1024, v.bytes().begin() + 2048};
}

TEST(ExtSuperblock, ReadsGeometryAndRejectsWhatCannotBeComputedWith) {
    ExtTestVolume v(8192 * 33, 64, 128, 1024, 8);  // 33 groups of 8192 one-KiB blocks
    auto sb = ParseExtSuperblock(SuperblockBytes(v));
    ASSERT_TRUE(sb) << sb.error().message;
    EXPECT_EQ(sb->blockSize, 1024u);
    EXPECT_EQ(sb->firstDataBlock, 1u);
    EXPECT_EQ(sb->groupCount, 33u);
    EXPECT_EQ(sb->inodeSize, 128u);

    struct Case {
        std::size_t offset;
        std::uint32_t value;
        int width;
    } bad[] = {
        {24, 7, 4},         // 128 KiB blocks
        {32, 0, 4},         // no blocks per group
        {32, 8193, 4},      // more blocks per group than a bitmap block has bits
        {40, 0, 4},         // no inodes per group
        {88, 96, 2},        // inode size below 128
        {88, 384, 2},       // not a power of two
        {88, 2048, 2},      // larger than a block
        {0x38, 0xEF52, 2},  // not the magic
        {0, 0, 4},          // no inodes
    };
    for (const Case& c : bad) {
        ExtTestVolume broken(8192 * 33, 64, 128, 1024, 8);
        if (c.width == 2) {
            broken.Put16(1024 + c.offset, c.value);
        } else {
            broken.Put32(1024 + c.offset, c.value);
        }
        const auto parsed = ParseExtSuperblock(SuperblockBytes(broken));
        EXPECT_FALSE(parsed) << "offset " << c.offset;
        if (!parsed) {
            EXPECT_EQ(parsed.error().offset, c.offset);
        }
    }
    // Revision 0 volumes have 128-byte inodes whatever the (unused) size field says.
    v.Put32(1024 + 76, 0);
    v.Put16(1024 + 88, 0);
    EXPECT_EQ(ParseExtSuperblock(SuperblockBytes(v))->inodeSize, 128u);
}

TEST(ExtSuperblock, SixtyFourBitVolumesUseWideDescriptorsAndHighWords) {
    ExtTestVolume v;
    v.SetFeatureIncompat(kExtIncompat64Bit);
    v.Put16(1024 + 0xFE, 64);
    auto sb = ParseExtSuperblock(SuperblockBytes(v));
    ASSERT_TRUE(sb);
    EXPECT_EQ(sb->descriptorSize, 64u);
    std::vector<std::byte> gd(64);
    ExtTestVolume::PutAt(gd, 8, 0x1234, 4);
    ExtTestVolume::PutAt(gd, 0x28, 0x5, 4);
    EXPECT_EQ(DecodeExtGroupDescriptor(gd, sb->is64Bit())->inodeTable, 0x500001234ull);
    v.Put16(1024 + 0xFE, 32);  // a 64-bit volume with narrow descriptors is corrupt
    EXPECT_FALSE(ParseExtSuperblock(SuperblockBytes(v)));
}

TEST(ExtVolumeOpen, ReadsInodesWithTheSuperblocksInodeSize) {
    for (std::uint32_t inodeSize : {128u, 256u}) {
        ExtTestVolume v(512, 64, inodeSize);
        ExtTestVolume::Inode inode;
        inode.size = 4242;
        v.WriteInode(8, inode);
        CExt2Volume engine(v.Source(), ExtTestVolume::Partition("EXT2"));
        ASSERT_TRUE(engine.IsOpen()) << engine.openError().message;
        auto raw = engine.ReadInode(8);
        ASSERT_TRUE(raw);
        ASSERT_EQ(raw->size(), inodeSize);
        EXPECT_EQ(ParseExtInode(*raw, engine.superblock()).size, 4242u);
        EXPECT_FALSE(engine.ReadInode(0));
        EXPECT_FALSE(engine.ReadInode(65));
        // The inode table's length follows the inode size too.
        EXPECT_EQ(engine.BlockKind(ExtTestVolume::kInodeTable + 64 * inodeSize / 1024 - 1),
                  BlockKind::InodeTable);
        EXPECT_EQ(engine.BlockKind(ExtTestVolume::kInodeTable + 64 * inodeSize / 1024), BlockKind::Data);
        EXPECT_EQ(engine.FirstInodeOfTableBlock(ExtTestVolume::kInodeTable + 1), 1 + 1024 / inodeSize);
    }
}

TEST(ExtVolumeOpen, ClassifiesBlocksByTheDescriptors) {
    ExtTestVolume v;
    v.SetJournalInode(8);
    CExt3Volume engine(v.Source(), ExtTestVolume::Partition("EXT3"));
    ASSERT_TRUE(engine.IsOpen());
    EXPECT_EQ(engine.BlockKind(1), BlockKind::Superblock);
    EXPECT_EQ(engine.BlockKind(2), BlockKind::DescriptorTable);
    EXPECT_EQ(engine.BlockKind(ExtTestVolume::kBlockBitmap), BlockKind::BlockBitmap);
    EXPECT_EQ(engine.BlockKind(ExtTestVolume::kInodeBitmap), BlockKind::InodeBitmap);
    EXPECT_EQ(engine.BlockKind(100), BlockKind::Data);
    EXPECT_EQ(engine.BlockKind(512), BlockKind::OutOfRange);
    EXPECT_FALSE(engine.ReadBlock(512));

    v.SetJournalInode(0);
    CExt3Volume noJournal(v.Source(), ExtTestVolume::Partition("EXT3"));
    EXPECT_FALSE(noJournal.IsOpen());
}

// A map over blocks held in a std::map; missing blocks read as zeros.
struct FakeBlocks {
    std::uint32_t blockSize = 1024;
    std::map<std::uint64_t, std::vector<std::byte>> blocks;
    int reads = 0;
    std::vector<std::byte>& At(std::uint64_t b) {
        auto& block = blocks[b];
        block.resize(blockSize);
        return block;
    }
    ExtMetadataReader Reader() {
        return [this](std::uint64_t b) -> Result<std::vector<std::byte>> {
            ++reads;
            auto it = blocks.find(b);
            return it == blocks.end() ? std::vector<std::byte>(blockSize) : it->second;
        };
    }
};

ExtSuperblock Geometry(std::uint32_t blockSize, std::uint64_t blocks = 1u << 20) {
    ExtSuperblock sb;
    sb.blockSize = blockSize;
    sb.blocksCount = blocks;
    sb.blocksPerGroup = 8 * blockSize;
    sb.inodesPerGroup = 128;
    sb.inodesCount = 128;
    return sb;
}

void SetPointer(ExtInode& inode, int index, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        inode.blockArea[static_cast<std::size_t>(index * 4 + i)] =
            std::byte{static_cast<std::uint8_t>(value >> (8 * i))};
}

std::uint64_t MappedBlock(const ExtFileMap& map, std::uint64_t logical) {
    for (const ExtRun& r : map.runs) {
        if (logical >= r.logical && logical < r.logical + r.count) return r.physical + (logical - r.logical);
    }
    return 0;  // hole
}

TEST(ExtBlockMap, RegionsOfTheBlockMapBeginWhereTheBlockSizeSays) {
    FakeBlocks disk;
    ExtInode inode;
    inode.mode = 0100644;
    for (int i = 0; i < 12; ++i) SetPointer(inode, i, 100 + static_cast<std::uint32_t>(i));
    SetPointer(inode, 12, 500);
    disk.At(500);
    ExtTestVolume::PutAt(disk.At(500), 0, 900, 4);

    inode.size = 12288;  // 1 KiB blocks: only the direct blocks
    auto direct = MapExtFile(inode, Geometry(1024), disk.Reader());
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->blockCount, 12u);
    EXPECT_EQ(disk.reads, 0);
    EXPECT_EQ(direct->runs.size(), 1u);  // 100..111 in one run

    inode.size = 12289;  // the last byte needs the single-indirect block
    auto single = MapExtFile(inode, Geometry(1024), disk.Reader());
    ASSERT_TRUE(single);
    EXPECT_EQ(MappedBlock(*single, 12), 900u);
    EXPECT_EQ(disk.reads, 1);

    // 4 KiB blocks: the double-indirect region begins at (1024 + 12) * 4096 = 4,243,456.
    FakeBlocks big;
    big.blockSize = 4096;
    SetPointer(inode, 12, 600);
    SetPointer(inode, 13, 601);
    ExtTestVolume::PutAt(big.At(600), 1023 * 4, 700, 4);
    ExtTestVolume::PutAt(big.At(601), 0, 602, 4);
    ExtTestVolume::PutAt(big.At(602), 0, 800, 4);
    inode.size = 4243456;
    auto endOfSingle = MapExtFile(inode, Geometry(4096), big.Reader());
    ASSERT_TRUE(endOfSingle);
    EXPECT_EQ(MappedBlock(*endOfSingle, 1035), 700u);
    EXPECT_EQ(big.blocks.count(601), 1u);
    inode.size = 4243457;
    auto doubleStart = MapExtFile(inode, Geometry(4096), big.Reader());
    ASSERT_TRUE(doubleStart);
    EXPECT_EQ(MappedBlock(*doubleStart, 1036), 800u);
}

TEST(ExtBlockMap, ZeroPointersAreHolesAndPointersPastTheVolumeRejectTheFile) {
    FakeBlocks disk;
    ExtInode inode;
    inode.mode = 0100644;
    inode.size = 5 * 1024;
    SetPointer(inode, 1, 50);
    SetPointer(inode, 3, 51);
    auto map = MapExtFile(inode, Geometry(1024), disk.Reader());
    ASSERT_TRUE(map);
    EXPECT_EQ(MappedBlock(*map, 0), 0u);  // never block 0 of the volume
    EXPECT_EQ(MappedBlock(*map, 1), 50u);
    EXPECT_EQ(MappedBlock(*map, 3), 51u);

    SetPointer(inode, 4, 1u << 20);  // one past the last block
    EXPECT_FALSE(MapExtFile(inode, Geometry(1024), disk.Reader()));
    SetPointer(inode, 4, 0);
    inode.size = 13 * 1024;
    SetPointer(inode, 12, 0xFFFFFFF0);  // an indirect block past the end
    EXPECT_FALSE(MapExtFile(inode, Geometry(1024), disk.Reader()));
}

TEST(ExtBlockMap, IndirectBlocksThatPointAtThemselvesEndWithTheSize) {
    FakeBlocks disk;
    ExtInode inode;
    inode.mode = 0100644;
    // Triple indirect block 70 lists itself everywhere: three levels deep it is read as data pointers.
    SetPointer(inode, 14, 70);
    auto& self = disk.At(70);
    for (std::size_t i = 0; i < 256; ++i) ExtTestVolume::PutAt(self, i * 4, 70, 4);
    inode.size = (12ull + 256 + 65536 + 300) * 1024;
    auto map = MapExtFile(inode, Geometry(1024), disk.Reader());
    ASSERT_TRUE(map);
    EXPECT_EQ(MappedBlock(*map, 12 + 256 + 65536 + 299), 70u);
    EXPECT_LT(disk.reads, 10);
    // A size the block map cannot address is a misread inode.
    inode.size = (12ull + 256 + 65536 + 16777216 + 1) * 1024;
    EXPECT_FALSE(MapExtFile(inode, Geometry(1024), disk.Reader()));
}

std::vector<std::byte> ExtentNode(std::uint16_t depth, std::uint16_t max,
                                  std::initializer_list<std::array<std::uint64_t, 3>> entries,
                                  std::size_t bytes) {
    std::vector<std::byte> node(bytes);
    ExtTestVolume::PutAt(node, 0, kExtentMagic, 2);
    ExtTestVolume::PutAt(node, 2, entries.size(), 2);
    ExtTestVolume::PutAt(node, 4, max, 2);
    ExtTestVolume::PutAt(node, 6, depth, 2);
    std::size_t at = 12;
    for (const auto& e : entries) {
        ExtTestVolume::PutAt(node, at, e[0], 4);
        if (depth == 0) {
            ExtTestVolume::PutAt(node, at + 4, e[1], 2);
            ExtTestVolume::PutAt(node, at + 6, e[2] >> 32, 2);
            ExtTestVolume::PutAt(node, at + 8, e[2] & 0xFFFFFFFF, 4);
        } else {
            ExtTestVolume::PutAt(node, at + 4, e[2] & 0xFFFFFFFF, 4);
            ExtTestVolume::PutAt(node, at + 8, e[2] >> 32, 2);
        }
        at += 12;
    }
    return node;
}

ExtInode ExtentInode(std::uint64_t size, const std::vector<std::byte>& root) {
    ExtInode inode;
    inode.mode = 0100644;
    inode.flags = kExtExtentsFlag;
    inode.size = size;
    std::copy(root.begin(), root.begin() + 60, inode.blockArea.begin());
    return inode;
}

TEST(ExtExtents, TreesAreFollowedAndBrokenTreesRejected) {
    FakeBlocks disk;
    disk.At(300) = ExtentNode(0, 84, {{0, 2, 1000}, {5, 1, 2000}, {6, 32768 + 3, 3000}}, 1024);
    const ExtInode inode = ExtentInode(9 * 1024, ExtentNode(1, 4, {{0, 0, 300}}, 60));
    auto map = MapExtFile(inode, Geometry(1024), disk.Reader());
    ASSERT_TRUE(map) << map.error().message;
    EXPECT_EQ(MappedBlock(*map, 1), 1001u);
    EXPECT_EQ(MappedBlock(*map, 3), 0u);  // gap: a hole
    EXPECT_EQ(MappedBlock(*map, 5), 2000u);
    EXPECT_EQ(MappedBlock(*map, 7), 0u);  // uninitialised: zeros

    // Index pointing back at itself, wrong depth, overlapping extents, a bad magic, a 48-bit block past the
    // end.
    FakeBlocks loop;
    loop.At(300) = ExtentNode(1, 84, {{0, 0, 300}}, 1024);
    EXPECT_FALSE(
        MapExtFile(ExtentInode(4096, ExtentNode(2, 4, {{0, 0, 300}}, 60)), Geometry(1024), loop.Reader()));
    EXPECT_FALSE(
        MapExtFile(ExtentInode(4096, ExtentNode(1, 4, {{0, 0, 300}}, 60)), Geometry(1024), loop.Reader()));
    EXPECT_FALSE(MapExtFile(ExtentInode(8192, ExtentNode(0, 4, {{0, 4, 10}, {2, 2, 20}}, 60)), Geometry(1024),
                            disk.Reader()));
    auto badMagic = ExtentNode(0, 4, {{0, 1, 10}}, 60);
    badMagic[0] = std::byte{0};
    EXPECT_FALSE(MapExtFile(ExtentInode(1024, badMagic), Geometry(1024), disk.Reader()));
    EXPECT_FALSE(MapExtFile(ExtentInode(1024, ExtentNode(0, 4, {{0, 1, 1ull << 40}}, 60)), Geometry(1024),
                            disk.Reader()));
    EXPECT_FALSE(
        MapExtFile(ExtentInode(1024, ExtentNode(0, 5, {{0, 1, 10}}, 60)), Geometry(1024), disk.Reader()));
}

TEST(ExtPlausibility, TimesModeSizeAndPointersDecide) {
    const ExtSuperblock sb = Geometry(1024, 10000);
    const std::int64_t now = 1700000000;
    ExtInode inode;
    inode.mode = 0100600;
    inode.size = 5000;
    inode.ctime = inode.mtime = inode.atime =
        static_cast<std::uint32_t>(now - 10 * 365 * 86400);  // ten years old
    inode.dtime = static_cast<std::uint32_t>(now - 86400);
    SetPointer(inode, 1, 44);  // the first block is a hole: still a file
    EXPECT_TRUE(IsPlausibleFileInode(inode, sb, now));

    ExtInode future = inode;
    future.mtime = static_cast<std::uint32_t>(now + 2 * 86400);
    EXPECT_FALSE(IsPlausibleFileInode(future, sb, now));
    for (int mode : {0040755, 0120777, 0140755, 0}) {  // directory, symbolic link, socket, none
        ExtInode other = inode;
        other.mode = static_cast<std::uint16_t>(mode);
        EXPECT_FALSE(IsPlausibleFileInode(other, sb, now)) << mode;
    }
    ExtInode empty = inode;
    empty.size = 0;
    EXPECT_FALSE(IsPlausibleFileInode(empty, sb, now));
    ExtInode pastEnd = inode;
    SetPointer(pastEnd, 2, 10000);
    EXPECT_FALSE(IsPlausibleFileInode(pastEnd, sb, now));
    ExtInode noPointers = inode;
    SetPointer(noPointers, 1, 0);
    EXPECT_FALSE(IsPlausibleFileInode(noPointers, sb, now));
    ExtInode noTimes = inode;
    noTimes.ctime = 0;
    EXPECT_FALSE(IsPlausibleFileInode(noTimes, sb, now));
}

TEST(ExtJournal, DescriptorTagsInEveryLayout) {
    std::vector<std::byte> block(1024);
    auto be = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            block[at + static_cast<std::size_t>(i)] = std::byte{static_cast<std::uint8_t>(v >> (24 - 8 * i))};
    };
    JournalSuperblock v1;
    v1.blockType = kJournalSuperblockV1;
    // First tag carries a 16-byte identifier after it, then an all-zero pair, then the last tag.
    be(12, 100);
    be(16, 0);
    be(36, 0);
    be(40, 0);
    be(44, 200);
    be(48, kJournalTagSameUuid | kJournalTagLast);
    be(52, 300);
    auto tags = ParseDescriptorTags(block, v1);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].block, 100u);
    EXPECT_EQ(tags[1].block, 200u);

    JournalSuperblock v3;
    v3.blockType = kJournalSuperblockV2;
    v3.featureIncompat = 0x2 | 0x10;  // 64-bit, checksum v3: 16-byte tags
    std::fill(block.begin(), block.end(), std::byte{0});
    be(12, 5);
    be(16, kJournalTagSameUuid);
    be(20, 1);
    be(28, 6);
    be(32, kJournalTagSameUuid | kJournalTagLast);
    tags = ParseDescriptorTags(block, v3);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].block, 0x100000005ull);
    EXPECT_EQ(tags[1].block, 6u);

    // A block of tags without a last flag ends at the block's end (before a checksum tail).
    std::fill(block.begin(), block.end(), std::byte{0xFF});
    JournalSuperblock v2 = v3;
    v2.featureIncompat = 0x8;  // checksum v2, 32-bit: 10-byte tags
    for (std::size_t at = 12; at + 10 <= block.size(); at += 10) {
        be(at + 4, kJournalTagSameUuid << 0);
        block[at + 6] = std::byte{0};
        block[at + 7] = std::byte{kJournalTagSameUuid};
    }
    EXPECT_EQ(ParseDescriptorTags(block, v2).size(), (1024u - 12 - 4) / 10);
}

TEST(ExtDirectoryBlocks, FirstBlocksAndSoundLaterBlocksGiveNames) {
    ExtTestVolume v;
    std::vector<std::pair<std::uint32_t, std::string>> seen;
    auto collect = [&](std::uint32_t inode, std::uint8_t, std::string_view name) {
        seen.emplace_back(inode, name);
    };
    auto block = [&](std::uint32_t b) { return std::span<const std::byte>(v.Block(b), 1024); };

    // A later block of a large directory (no "." and ".."), ending with a checksum tail entry.
    v.PutDirEntry(100, 0, 21, 16, 1, "a.txt");
    v.PutDirEntry(100, 16, 0, 20, 1, "gone");  // a freed slot: no name
    v.PutDirEntry(100, 36, 22, 1024 - 36 - 12, 2, "folder");
    v.PutDirEntry(100, 1024 - 12, 0, 12, 0xDE, "");
    EXPECT_FALSE(LooksLikeFirstDirectoryBlock(block(100)));
    EXPECT_TRUE(ForEachDirectoryBlockEntry(block(100), 64, collect));
    EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, std::string>>{{21, "a.txt"}, {22, "folder"}}));

    // Entries that do not tile the block, an unknown type, an inode the volume has not, a "/" in a name.
    v.PutDirEntry(101, 0, 21, 16, 1, "a.txt");
    v.PutDirEntry(101, 16, 22, 1000, 1, "b.txt");
    v.PutDirEntry(102, 0, 21, 1024, 9, "a.txt");
    v.PutDirEntry(103, 0, 65, 1024, 1, "a.txt");
    v.PutDirEntry(104, 0, 21, 1024, 1, "a/b");
    seen.clear();
    for (std::uint32_t b : {101u, 102u, 103u, 104u, 105u})
        EXPECT_FALSE(ForEachDirectoryBlockEntry(block(b), 64, collect)) << b;
    EXPECT_TRUE(seen.empty());

    // A first block: "." and ".." are left out.
    v.PutDirectoryHead(106, 2, 2);
    v.PutDirEntry(106, 24, 30, 1000, 1, "report.pdf");
    EXPECT_TRUE(LooksLikeFirstDirectoryBlock(block(106)));
    EXPECT_TRUE(ForEachDirectoryBlockEntry(block(106), 64, collect));
    EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, std::string>>{{30, "report.pdf"}}));
}

TEST(ExtRowText, ListTexts) {
    ExtFileNode node;
    node.inodeNumber = 12;
    EXPECT_EQ(ExtRowName(node), "inode(0000000C)");
    node.name = "report.txt";
    EXPECT_EQ(ExtRowName(node), "report.txt");
    EXPECT_EQ(ExtSizeText(1023), "1023 B");
    EXPECT_EQ(ExtSizeText(1048575), "1024.00 KB");
    EXPECT_EQ(ExtSizeText(1048576), " 1.00 MB");
    EXPECT_EQ(ExtSizeText(0x3FFFFFFF), "1024.00 MB");
    EXPECT_EQ(ExtSizeText(0x40000000), " 1.00 GB");
    EXPECT_EQ(ExtPermissionText(0100750), "rwxr-x");
    EXPECT_EQ(ExtPermissionText(0100007), "------");
    {
        // Times are local: in a zone eight hours east of UTC (a POSIX rule, no zone database needed) ...
        const ScopedTimeZone east("CST-8");
        EXPECT_EQ(ExtTimeText(16 * 3600 + 30 * 60), "1970-01-02 00:30:00");
        EXPECT_EQ(ExtTimeText(0xFFFFFFFF), "2106-02-07 14:28:15");
        EXPECT_EQ(ExtDosDate(1700000000), DosDate(2023, 11, 15));
    }
    {
        // ... and the same moments west of it, where the day is the one before.
        const ScopedTimeZone west("EST5");
        EXPECT_EQ(ExtTimeText(16 * 3600 + 30 * 60), "1970-01-01 11:30:00");
        EXPECT_EQ(ExtDosDate(1700000000), DosDate(2023, 11, 14));
    }
    {
        const ScopedTimeZone utc("UTC0");
        EXPECT_EQ(ExtTimeText(0xFFFFFFFF), "2106-02-07 06:28:15");
    }
}

TEST(ExtNames, ShownNamesAndTypeTexts) {
    EXPECT_EQ(ExtDisplayableName("Grüße.txt"), "Grüße.txt");
    EXPECT_EQ(ExtDisplayableName("a\xFF"
                                 "b?.TXT"),
              "a_b_.TXT");
    EXPECT_EQ(ExtDisplayableName("\xC0\xAF"), "__");  // overlong '/'
    EXPECT_EQ(ExtTypeText("Report.Final.PDF"), "pdf");
    EXPECT_EQ(ExtTypeText(".bashrc"), "");
    EXPECT_EQ(ExtTypeText("noext"), "");
    EXPECT_EQ(ExtTypeText("x.abcdefghijklmnopqrstuvwxyz"), "abcdefghijklmnopqrs");
}

}  // namespace
}  // namespace lumacore
