#include <gtest/gtest.h>

#include "core/byte_reader.h"
#include "core/disk_info.h"
#include "core/partition_info.h"

namespace lumacore {
namespace {

TEST(PartitionInfoRecord, StoredLayoutIsByteExactAndRoundTrips) {
    PartitionInfo p;
    p.diskNumber = -1;
    p.driveLetter = 'E';
    p.kind = 2;
    p.tableSector = 0x11223344;
    p.extendedStart = 0x55667788;
    p.SetFsName("FAT32");
    p.SetVolumeLabel("HOLIDAY PICS");
    p.startSector = 0x01020304;
    p.sectorsPerCluster = 64;
    p.bytesPerSector = 512;
    p.freeBytes = 0x0102030405060708ull;
    p.totalBytes = 0x1112131415161718ull;
    p.bootSector[0] = std::byte{0xEB};
    p.bootSector[511] = std::byte{0xAA};
    p.typeCode = 0x0C;

    const auto stored = p.Serialize();
    ASSERT_EQ(stored.size(), 600u);
    ByteReader r(stored);
    EXPECT_EQ(r.u32le(0), 0xFFFFFFFFu);
    EXPECT_EQ(r.u8(4), 'E');
    EXPECT_EQ(r.u8(5), 2);
    EXPECT_EQ(r.u16le(6), 0);  // reserved
    EXPECT_EQ(r.u32le(8), 0x11223344u);
    EXPECT_EQ(r.u32le(12), 0x55667788u);
    EXPECT_EQ(r.zstring(16, 12), "FAT32");
    EXPECT_EQ(r.zstring(28, 24), "HOLIDAY PICS");
    EXPECT_EQ(r.u32le(52), 0x01020304u);
    EXPECT_EQ(r.u32le(56), 64u);
    EXPECT_EQ(r.u32le(60), 512u);
    EXPECT_EQ(r.u64le(64), 0x0102030405060708ull);
    EXPECT_EQ(r.u64le(72), 0x1112131415161718ull);
    EXPECT_EQ(r.u8(80), 0xEB);
    EXPECT_EQ(r.u8(591), 0xAA);
    EXPECT_EQ(r.u8(592), 0x0C);
    for (std::size_t i = 593; i < 600; ++i) EXPECT_EQ(r.u8(i), 0) << i;

    EXPECT_EQ(PartitionInfo::Deserialize(stored), p);
}

TEST(PartitionInfoRecord, UnterminatedStoredTextsStayInsideTheirFields) {
    std::array<std::byte, 600> stored{};
    for (std::size_t i = 16; i < 52; ++i) stored[i] = std::byte{'A'};
    const PartitionInfo p = PartitionInfo::Deserialize(stored);
    EXPECT_EQ(p.FsName(), std::string(11, 'A'));
    EXPECT_EQ(p.VolumeLabel(), std::string(23, 'A'));
}

TEST(PartitionInfoRecord, LongTextsAreCutToTheirField) {
    PartitionInfo p;
    p.SetVolumeLabel(std::string(40, 'x'));
    EXPECT_EQ(p.VolumeLabel().size(), 23u);
    p.startSector = 63;
    p.totalBytes = 1048576;
    EXPECT_EQ(p.EndSector(), 2111u);
}

TEST(DiskInfoRecord, StoredLayoutIsByteExactAndRoundTrips) {
    DiskInfo d;
    d.SetModel("ATA      Maker Model 500");
    d.sizeBytes = 500107862016ull;
    d.removable = 1;
    d.diskNumber = 3;
    d.busType = 11;
    const auto stored = d.Serialize();
    ASSERT_EQ(stored.size(), 288u);
    ByteReader r(stored);
    EXPECT_EQ(r.zstring(0, 264), "ATA      Maker Model 500");
    EXPECT_EQ(r.u64le(264), 500107862016ull);
    EXPECT_EQ(r.u32le(272), 1u);
    EXPECT_EQ(r.u32le(276), 3u);
    EXPECT_EQ(r.u32le(280), 11u);
    EXPECT_EQ(r.u32le(284), 0u);
    EXPECT_EQ(DiskInfo::Deserialize(stored), d);
}

TEST(DiskInfoRecord, BusNames) {
    EXPECT_STREQ(BusTypeName(0), "Unknown");
    EXPECT_STREQ(BusTypeName(7), "USB");
    EXPECT_STREQ(BusTypeName(11), "SATA");
    EXPECT_STREQ(BusTypeName(12), "");
    EXPECT_STREQ(BusTypeName(0xFFFFFFFF), "");
}

}  // namespace
}  // namespace lumacore
