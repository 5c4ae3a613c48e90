// The on-disk layout decoders on the boot sectors, superblocks, descriptors and MFT records that
// mkfs.fat, mkntfs and mke2fs wrote into the fixture images; the expected values are what fsck.fat,
// ntfsinfo and dumpe2fs report for the same volumes.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "integration/image_fixture.h"
#include "layout/ext_group_descriptor.h"
#include "layout/ext_superblock.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;

// `length` bytes at `offset` of a fixture image; empty when the image or the bytes are not there.
std::vector<std::byte> ReadFixture(const std::string& name, std::uint64_t offset, std::size_t length) {
    const auto path = ImageFixtures::Fixture(name);
    std::vector<std::byte> bytes(length);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length))) return {};
    return bytes;
}

TEST(LayoutImages, FatBootSectorsOfMkfsFat) {
    const auto fat16 = ReadFixture("fat16-default", 2048 * 512, 512);
    ASSERT_FALSE(fat16.empty());
    auto b = DecodeFatBootSector(fat16);
    ASSERT_TRUE(b) << b.error().message;
    EXPECT_EQ(b->bytesPerSector, 512u);
    EXPECT_EQ(b->sectorsPerCluster, 4u);
    EXPECT_EQ(b->reservedSectors, 4u);
    EXPECT_EQ(b->fatCount, 2u);
    EXPECT_EQ(b->rootEntryCount, 512u);
    EXPECT_EQ(b->RootDirSectors(), 32u);
    EXPECT_EQ(b->TotalSectors(), 63488u);
    EXPECT_EQ(b->SectorsPerFat(), 64u);
    EXPECT_EQ(b->mediaDescriptor, 0xF8);

    for (const auto& [image, start, total, perFat] :
         {std::tuple{"fat32-deleted", 2048u, 79872u, 615u}, std::tuple{"whole-fat32", 0u, 67584u, 520u}}) {
        const auto sector = ReadFixture(image, std::uint64_t{start} * 512, 512);
        ASSERT_FALSE(sector.empty()) << image;
        b = DecodeFatBootSector(sector);
        ASSERT_TRUE(b) << image << ": " << b.error().message;
        EXPECT_EQ(b->jump[1], 0x58) << image;
        EXPECT_EQ(b->sectorsPerCluster, 1u) << image;
        EXPECT_EQ(b->reservedSectors, 32u) << image;
        EXPECT_EQ(b->rootEntryCount, 0u) << image;
        EXPECT_EQ(b->TotalSectors(), total) << image;
        EXPECT_EQ(b->SectorsPerFat(), perFat) << image;
        EXPECT_EQ(b->rootCluster, 2u) << image;
        EXPECT_EQ(b->fsInfoSector, 1u) << image;
        EXPECT_EQ(b->backupBootSector, 6u) << image;
        // The backup copy six sectors in decodes to the same parameters.
        const auto backup = DecodeFatBootSector(ReadFixture(image, (std::uint64_t{start} + 6) * 512, 512));
        ASSERT_TRUE(backup) << image;
        EXPECT_EQ(backup->TotalSectors(), total) << image;
    }
}

TEST(LayoutImages, NtfsBootSectorAndMftRecordsOfMkntfs) {
    constexpr std::uint64_t kVolume = 2048 * 512;
    const auto boot = DecodeNtfsBootSector(ReadFixture("ntfs-deleted", kVolume, 512));
    ASSERT_TRUE(boot) << boot.error().message;
    EXPECT_EQ(boot->oemName, "NTFS    ");
    EXPECT_EQ(boot->bytesPerSector, 512u);
    EXPECT_EQ(boot->clusterSize, 4096u);
    EXPECT_EQ(boot->totalSectors, 49151u);
    EXPECT_EQ(boot->mftCluster, 4u);
    EXPECT_EQ(boot->mftMirrorCluster, 3071u);
    EXPECT_EQ(boot->recordSize, 1024u);
    EXPECT_EQ(boot->indexBlockSize, 4096u);
    EXPECT_TRUE(boot->HasUsableRecordSize());

    // Records 0 ($MFT) .. 11 ($Extend): all in use, all base records, numbered in their headers; 5
    // (the root) and 11 are folders.
    const std::uint64_t mft = kVolume + boot->mftCluster * boot->clusterSize;
    for (std::uint32_t n = 0; n < 12; ++n) {
        const auto bytes =
            ReadFixture("ntfs-deleted", mft + std::uint64_t{n} * boot->recordSize, boot->recordSize);
        const auto h = DecodeNtfsRecordHeader(bytes);
        ASSERT_TRUE(h) << "record " << n << ": " << h.error().message;
        EXPECT_EQ(h->recordNumber, n);
        EXPECT_EQ(h->updateSequenceOffset, 0x30);
        EXPECT_EQ(h->updateSequenceCount, 3);  // the check value and two sectors
        EXPECT_EQ(h->allocatedSize, 1024u);
        EXPECT_GT(h->usedSize, h->firstAttributeOffset);
        EXPECT_LE(h->usedSize, h->allocatedSize);
        EXPECT_TRUE(h->InUse()) << n;
        EXPECT_FALSE(h->IsExtension()) << n;
        EXPECT_EQ(h->IsDirectory(), n == 5 || n == 11) << n;
    }
}

TEST(LayoutImages, ExtSuperblocksAndDescriptorsOfMke2fs) {
    struct Volume {
        const char* image;
        std::uint32_t start;
        const char* label;
        std::uint64_t blocks, freeBlocks;
        std::uint32_t inodes, inodesPerGroup, inodeSize, journal;
        bool wide;
        std::uint64_t blockBitmap, inodeBitmap;
    };
    for (const Volume& v :
         {Volume{"ext2-deleted", 2048, "EXT2_1K", 19456, 18669, 4872, 1624, 128, 0, false, 78, 79},
          Volume{"ext-journal", 2048, "EXT3_1K", 16384, 14691, 4096, 2048, 128, 8, false, 0, 0},
          Volume{"ext-journal", 34816, "EXT3_4K", 24576, 21793, 6144, 2048, 256, 8, false, 0, 0},
          Volume{"ext-journal", 83968, "EXT4_VOL", 30720, 27027, 7680, 1920, 256, 8, true, 242, 246}}) {
        const std::uint64_t volume = std::uint64_t{v.start} * 512;
        const auto sb =
            DecodeExtSuperblock(ReadFixture(v.image, volume + kExtSuperblockOffset, kExtSuperblockSize));
        ASSERT_TRUE(sb) << v.label << ": " << sb.error().message;
        EXPECT_EQ(sb->label, v.label);
        EXPECT_EQ(sb->blockSize, 1024u) << v.label;
        EXPECT_EQ(sb->firstDataBlock, 1u) << v.label;
        EXPECT_EQ(sb->blocksCount, v.blocks) << v.label;
        EXPECT_EQ(sb->freeBlocksCount, v.freeBlocks) << v.label;
        EXPECT_EQ(sb->inodesCount, v.inodes) << v.label;
        EXPECT_EQ(sb->blocksPerGroup, 8192u) << v.label;
        EXPECT_EQ(sb->inodesPerGroup, v.inodesPerGroup) << v.label;
        EXPECT_EQ(sb->inodeSize, v.inodeSize) << v.label;
        EXPECT_EQ(sb->journalInode, v.journal) << v.label;
        EXPECT_EQ(sb->is64Bit(), v.wide) << v.label;
        EXPECT_EQ(sb->descriptorSize, v.wide ? 64u : 32u) << v.label;
        EXPECT_EQ(sb->blockGroupNumber, 0) << v.label;
        if (v.blockBitmap == 0) continue;
        // Group 0's descriptor, in the block after the superblock's.
        const auto gd = DecodeExtGroupDescriptor(
            ReadFixture(v.image, volume + 2 * sb->blockSize, sb->descriptorSize), sb->is64Bit());
        ASSERT_TRUE(gd) << v.label;
        EXPECT_EQ(gd->blockBitmap, v.blockBitmap) << v.label;
        EXPECT_EQ(gd->inodeBitmap, v.inodeBitmap) << v.label;
    }
}

}  // namespace
}  // namespace lumacore
