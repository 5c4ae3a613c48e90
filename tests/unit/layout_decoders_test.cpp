// The on-disk layout decoders on byte-built structures: the fields each one reads, its one validity
// rule failing at the offset of the field, and bytes that end before the structure does. Real boot
// sectors and superblocks are decoded in tests/integration/layout_images_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "layout/ext_group_descriptor.h"
#include "layout/ext_superblock.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {
namespace {

using Bytes = std::vector<std::byte>;

void Put(Bytes& b, std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(value >> (8 * i));
}
void PutText(Bytes& b, std::size_t at, const std::string& text) {
    std::memcpy(b.data() + at, text.data(), text.size());
}

// The error a decoder gave: its kind and offset, or a note that it decoded.
template <typename T>
std::string Failure(const Result<T>& r) {
    if (r) return "decoded";
    const char* kind = r.error().kind == ErrorKind::Unsupported ? "unsupported"
                       : r.error().kind == ErrorKind::Corrupt   ? "corrupt"
                                                                : "other";
    return std::string(kind) + "@" + std::to_string(r.error().offset);
}

Bytes Fat32Boot() {
    Bytes b(512);
    b[0] = std::byte{0xEB};
    b[1] = std::byte{0x58};
    Put(b, 0x0B, 512, 2);
    b[0x0D] = std::byte{8};
    Put(b, 0x0E, 32, 2);
    b[0x10] = std::byte{2};
    b[0x15] = std::byte{0xF8};
    Put(b, 0x20, 1000000, 4);
    Put(b, 0x24, 977, 4);
    Put(b, 0x2C, 2, 4);
    Put(b, 0x30, 1, 2);
    Put(b, 0x32, 6, 2);
    return b;
}

TEST(FatBootSectorLayout, ReadsTheParameterBlockAndTheFat32Extension) {
    const auto b = DecodeFatBootSector(Fat32Boot());
    ASSERT_TRUE(b) << b.error().message;
    EXPECT_EQ(b->jump[1], 0x58);
    EXPECT_EQ(b->bytesPerSector, 512u);
    EXPECT_EQ(b->sectorsPerCluster, 8u);
    EXPECT_EQ(b->reservedSectors, 32u);
    EXPECT_EQ(b->fatCount, 2u);
    EXPECT_EQ(b->mediaDescriptor, 0xF8);
    EXPECT_EQ(b->TotalSectors(), 1000000u);
    EXPECT_EQ(b->SectorsPerFat(), 977u);
    EXPECT_EQ(b->rootCluster, 2u);
    EXPECT_EQ(b->fsInfoSector, 1u);
    EXPECT_EQ(b->backupBootSector, 6u);
    EXPECT_EQ(b->RootDirSectors(), 0u);

    // FAT12/16: the 16-bit counts win when they are set; the root directory region in whole sectors.
    Bytes fat16 = Fat32Boot();
    Put(fat16, 0x13, 2880, 2);
    Put(fat16, 0x16, 9, 2);
    Put(fat16, 0x11, 224, 2);
    const auto f = DecodeFatBootSector(fat16);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->TotalSectors(), 2880u);
    EXPECT_EQ(f->SectorsPerFat(), 9u);
    EXPECT_EQ(f->RootDirSectors(), 14u);
}

TEST(FatBootSectorLayout, RefusesSectorAndClusterSizesAtTheirOffsets) {
    for (const std::uint32_t bps : {0u, 256u, 513u, 8192u}) {
        Bytes b = Fat32Boot();
        Put(b, 0x0B, bps, 2);
        EXPECT_EQ(Failure(DecodeFatBootSector(b)), "corrupt@11") << bps;
    }
    for (const std::uint32_t bps : {1024u, 2048u, 4096u}) {
        Bytes b = Fat32Boot();
        Put(b, 0x0B, bps, 2);
        EXPECT_TRUE(DecodeFatBootSector(b)) << bps;
    }
    for (const int spc : {0, 3, 6, 255}) {
        Bytes b = Fat32Boot();
        b[0x0D] = static_cast<std::byte>(spc);
        EXPECT_EQ(Failure(DecodeFatBootSector(b)), "corrupt@13") << spc;
    }
    // Everything else is the reader's to judge: no reserved sectors, no FAT, no size still decode.
    Bytes b = Fat32Boot();
    Put(b, 0x0E, 0, 2);
    b[0x10] = std::byte{0};
    Put(b, 0x24, 0, 4);
    EXPECT_TRUE(DecodeFatBootSector(b));
}

TEST(FatBootSectorLayout, NeedsTheWholeSector) {
    const Bytes b = Fat32Boot();
    EXPECT_EQ(Failure(DecodeFatBootSector(std::span(b).first(511))), "corrupt@511");
    EXPECT_EQ(Failure(DecodeFatBootSector({})), "corrupt@0");
}

Bytes NtfsBoot() {
    Bytes b(512);
    PutText(b, 3, "NTFS    ");
    Put(b, 0x0B, 512, 2);
    b[0x0D] = std::byte{8};
    Put(b, 0x28, 49151, 8);
    Put(b, 0x30, 4, 8);
    Put(b, 0x38, 3071, 8);
    b[0x40] = std::byte{0xF6};
    b[0x44] = std::byte{1};
    Put(b, 0x48, 0x4C4D4E014C4D4E01, 8);
    return b;
}

TEST(NtfsBootSectorLayout, ReadsGeometryAndSizeBytes) {
    const auto b = DecodeNtfsBootSector(NtfsBoot());
    ASSERT_TRUE(b) << b.error().message;
    EXPECT_EQ(b->oemName, "NTFS    ");
    EXPECT_EQ(b->bytesPerSector, 512u);
    EXPECT_EQ(b->clusterSize, 4096u);
    EXPECT_EQ(b->SectorsPerCluster(), 8u);
    EXPECT_EQ(b->totalSectors, 49151u);
    EXPECT_EQ(b->mftCluster, 4u);
    EXPECT_EQ(b->mftMirrorCluster, 3071u);
    EXPECT_EQ(b->recordSize, 1024u);      // 2^10
    EXPECT_EQ(b->indexBlockSize, 4096u);  // one cluster
    EXPECT_EQ(b->serialNumber, 0x4C4D4E014C4D4E01u);
    EXPECT_TRUE(b->HasUsableRecordSize());

    // Clusters of 128 KiB and more are a negative power of two; 2 MiB is the largest.
    Bytes big = NtfsBoot();
    big[0x0D] = std::byte{0xF4};  // 2^12 sectors
    ASSERT_TRUE(DecodeNtfsBootSector(big));
    EXPECT_EQ(DecodeNtfsBootSector(big)->clusterSize, 2u << 20);
    big[0x0D] = std::byte{0xF3};
    EXPECT_EQ(Failure(DecodeNtfsBootSector(big)), "corrupt@13");

    // A record size byte of 0 gives no size: decoded, but not usable for reading the MFT.
    Bytes none = NtfsBoot();
    none[0x40] = std::byte{0};
    ASSERT_TRUE(DecodeNtfsBootSector(none));
    EXPECT_EQ(DecodeNtfsBootSector(none)->recordSize, 0u);
    EXPECT_FALSE(DecodeNtfsBootSector(none)->HasUsableRecordSize());
}

TEST(NtfsBootSectorLayout, RefusesEachRuleAtItsOffset) {
    Bytes b = NtfsBoot();
    PutText(b, 3, "NTFX");
    EXPECT_EQ(Failure(DecodeNtfsBootSector(b)), "unsupported@3");
    // The name is the four letters: what follows them is the reader's to check.
    b = NtfsBoot();
    std::fill(b.begin() + 7, b.begin() + 11, std::byte{0});
    ASSERT_TRUE(DecodeNtfsBootSector(b));
    EXPECT_EQ(DecodeNtfsBootSector(b)->oemName, "NTFS");
    for (const std::uint32_t bps : {0u, 128u, 768u, 8192u}) {
        b = NtfsBoot();
        Put(b, 0x0B, bps, 2);
        EXPECT_EQ(Failure(DecodeNtfsBootSector(b)), "corrupt@11") << bps;
    }
    for (const int spc : {0, 3, 0x81, 0xE0}) {
        b = NtfsBoot();
        b[0x0D] = static_cast<std::byte>(spc);
        EXPECT_EQ(Failure(DecodeNtfsBootSector(b)), "corrupt@13") << spc;
    }
    b = NtfsBoot();
    EXPECT_EQ(Failure(DecodeNtfsBootSector(std::span(b).first(0x4F))), "corrupt@79");
    EXPECT_EQ(Failure(DecodeNtfsBootSector(std::span(b).first(6))), "unsupported@3");
}

Bytes MftRecord() {
    Bytes r(1024);
    PutText(r, 0, "FILE");
    Put(r, 0x04, 0x30, 2);
    Put(r, 0x06, 3, 2);
    Put(r, 0x08, 0x102030405, 8);
    Put(r, 0x10, 7, 2);
    Put(r, 0x12, 2, 2);
    Put(r, 0x14, 0x38, 2);
    Put(r, 0x16, 0x0003, 2);
    Put(r, 0x18, 408, 4);
    Put(r, 0x1C, 1024, 4);
    Put(r, 0x20, (std::uint64_t{3} << 48) | 41, 8);
    Put(r, 0x28, 9, 2);
    Put(r, 0x2C, 42, 4);
    return r;
}

TEST(NtfsRecordHeaderLayout, ReadsEveryHeaderField) {
    const auto h = DecodeNtfsRecordHeader(MftRecord());
    ASSERT_TRUE(h) << h.error().message;
    EXPECT_EQ(h->updateSequenceOffset, 0x30);
    EXPECT_EQ(h->updateSequenceCount, 3);
    EXPECT_EQ(h->logSequence, 0x102030405u);
    EXPECT_EQ(h->sequence, 7);
    EXPECT_EQ(h->linkCount, 2);
    EXPECT_EQ(h->firstAttributeOffset, 0x38);
    EXPECT_EQ(h->usedSize, 408u);
    EXPECT_EQ(h->allocatedSize, 1024u);
    EXPECT_EQ(h->baseReference, (std::uint64_t{3} << 48) | 41);
    EXPECT_EQ(h->nextAttributeId, 9);
    EXPECT_EQ(h->recordNumber, 42u);
    EXPECT_TRUE(h->InUse());
    EXPECT_TRUE(h->IsDirectory());
    EXPECT_TRUE(h->IsExtension());
}

TEST(NtfsRecordHeaderLayout, MagicFirstThenTheWholeHeader) {
    Bytes r = MftRecord();
    EXPECT_EQ(Failure(DecodeNtfsRecordHeader(std::span(r).first(0x2F))), "corrupt@47");
    EXPECT_TRUE(DecodeNtfsRecordHeader(std::span(r).first(0x30)));
    EXPECT_FALSE(HasNtfsRecordMagic(std::span(r).first(3)));
    EXPECT_EQ(Failure(DecodeNtfsRecordHeader(std::span(r).first(3))), "unsupported@0");
    PutText(r, 0, "BAAD");  // what NTFS writes over a record whose fix-ups failed
    EXPECT_EQ(Failure(DecodeNtfsRecordHeader(r)), "unsupported@0");
    // A torn update sequence or an attribute offset past the end is read as it stands.
    r = MftRecord();
    Put(r, 0x04, 0xFFFF, 2);
    Put(r, 0x14, 0xFFFF, 2);
    ASSERT_TRUE(DecodeNtfsRecordHeader(r));
    EXPECT_EQ(DecodeNtfsRecordHeader(r)->firstAttributeOffset, 0xFFFF);
}

Bytes Superblock() {
    Bytes s(1024);
    Put(s, 0x00, 7680, 4);
    Put(s, 0x04, 30720, 4);
    Put(s, 0x0C, 27027, 4);
    Put(s, 0x14, 1, 4);
    Put(s, 0x18, 0, 4);
    Put(s, 0x20, 8192, 4);
    Put(s, 0x28, 1920, 4);
    Put(s, 0x38, 0xEF53, 2);
    Put(s, 0x4C, 1, 4);
    Put(s, 0x58, 256, 2);
    Put(s, 0x5A, 0, 2);
    PutText(s, 0x78, "EXT4_VOL");
    Put(s, 0xE0, 8, 4);
    return s;
}

TEST(ExtSuperblockLayout, ReadsFieldsAndJoinsHighHalvesOnlyWith64Bit) {
    Bytes s = Superblock();
    Put(s, 0x150, 1, 4);  // high halves written, but no 64-bit feature: not read
    Put(s, 0x158, 1, 4);
    Put(s, 0xFE, 64, 2);
    auto sb = DecodeExtSuperblock(s);
    ASSERT_TRUE(sb) << sb.error().message;
    EXPECT_EQ(sb->blockSize, 1024u);
    EXPECT_EQ(sb->blocksCount, 30720u);
    EXPECT_EQ(sb->freeBlocksCount, 27027u);
    EXPECT_EQ(sb->descriptorSize, kExtNarrowDescriptorSize);
    EXPECT_EQ(sb->inodeSize, 256u);
    EXPECT_EQ(sb->label, "EXT4_VOL");
    EXPECT_EQ(sb->journalInode, 8u);
    EXPECT_EQ(sb->blockGroupNumber, 0);

    Put(s, 0x60, kExtIncompat64Bit, 4);
    sb = DecodeExtSuperblock(s);
    ASSERT_TRUE(sb);
    EXPECT_EQ(sb->blocksCount, (std::uint64_t{1} << 32) | 30720u);
    EXPECT_EQ(sb->freeBlocksCount, (std::uint64_t{1} << 32) | 27027u);
    EXPECT_EQ(sb->descriptorSize, 64u);

    // Revision 0: 128-byte inodes whatever the field says.
    Put(s, 0x4C, 0, 4);
    EXPECT_EQ(DecodeExtSuperblock(s)->inodeSize, 128u);
    // A backup copy says which group it stands in.
    Put(s, 0x5A, 3, 2);
    EXPECT_EQ(DecodeExtSuperblock(s)->blockGroupNumber, 3);
}

TEST(ExtSuperblockLayout, RefusesEachRuleAtItsOffset) {
    Bytes s = Superblock();
    EXPECT_EQ(Failure(DecodeExtSuperblock(std::span(s).first(1023))), "corrupt@1023");
    Put(s, 0x38, 0xEF52, 2);
    EXPECT_EQ(Failure(DecodeExtSuperblock(s)), "unsupported@56");
    s = Superblock();
    Put(s, 0x18, 6, 4);  // 64 KiB blocks: the largest
    ASSERT_TRUE(DecodeExtSuperblock(s));
    EXPECT_EQ(DecodeExtSuperblock(s)->blockSize, 64u << 10);
    Put(s, 0x18, 7, 4);
    EXPECT_EQ(Failure(DecodeExtSuperblock(s)), "corrupt@24");
    Put(s, 0x18, 40, 4);  // 1 << 50 would not even fit the field
    EXPECT_EQ(Failure(DecodeExtSuperblock(s)), "corrupt@24");
    // The group geometry is the engine's to check: no groups at all still decodes.
    s = Superblock();
    Put(s, 0x20, 0, 4);
    Put(s, 0x28, 0, 4);
    EXPECT_TRUE(DecodeExtSuperblock(s));
}

TEST(ExtGroupDescriptorLayout, NarrowAndWideLayouts) {
    Bytes d(64);
    Put(d, 0x00, 242, 4);
    Put(d, 0x04, 246, 4);
    Put(d, 0x08, 250, 4);
    Put(d, 0x12, kExtGroupInodeUninit, 2);
    Put(d, 0x1C, 1894, 2);
    Put(d, 0x20, 1, 4);
    Put(d, 0x24, 2, 4);
    Put(d, 0x28, 3, 4);
    Put(d, 0x32, 1, 2);

    auto narrow = DecodeExtGroupDescriptor(std::span(d).first(32), false);
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->blockBitmap, 242u);
    EXPECT_EQ(narrow->inodeBitmap, 246u);
    EXPECT_EQ(narrow->inodeTable, 250u);
    EXPECT_EQ(narrow->flags, kExtGroupInodeUninit);
    EXPECT_EQ(narrow->unusedInodes, 1894u);
    // Narrow descriptors never read past their 32 bytes, however many follow.
    EXPECT_EQ(DecodeExtGroupDescriptor(d, false)->inodeTable, 250u);

    auto wide = DecodeExtGroupDescriptor(d, true);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->blockBitmap, (std::uint64_t{1} << 32) | 242u);
    EXPECT_EQ(wide->inodeBitmap, (std::uint64_t{2} << 32) | 246u);
    EXPECT_EQ(wide->inodeTable, (std::uint64_t{3} << 32) | 250u);
    EXPECT_EQ(wide->unusedInodes, (1u << 16) | 1894u);

    EXPECT_EQ(Failure(DecodeExtGroupDescriptor(std::span(d).first(31), false)), "corrupt@31");
    EXPECT_EQ(Failure(DecodeExtGroupDescriptor(std::span(d).first(63), true)), "corrupt@63");
}

}  // namespace
}  // namespace lumacore
