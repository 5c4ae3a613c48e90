// GPT disks built byte by byte: which header is used, how entries become records and gaps, and what a
// damaged or hostile table does. Real sgdisk disks are in the integration tests.
#include <gtest/gtest.h>

#include "core/crc32.h"
#include "disk/disk_inventory.h"
#include "disk/gpt_table.h"
#include "disk/gpt_walk.h"
#include "partition/gpt_restore.h"
#include "unit/fake_device_map.h"

namespace lumacore {
namespace {

using testing::FakeDeviceMap;
using testing::PutBytes;
using testing::PutEntry;
using testing::PutU16;
using testing::PutU32;

constexpr std::uint32_t kDiskSectors = 8192;
constexpr std::uint32_t kEntries = 128;
constexpr std::uint32_t kEntrySize = 128;
const char* kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
const char* kLinuxData = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";

std::span<std::byte> SectorsOf(std::vector<std::byte>& disk, std::uint64_t lba, std::size_t count) {
    return std::span<std::byte>(disk).subspan(lba * 512, count * 512);
}

// Writes a protective MBR and both GPT copies holding `entries`, as partitioning tools lay them out.
void PutGpt(std::vector<std::byte>& disk, const std::vector<GptEntry>& entries) {
    PutEntry(disk, 0, 0, 0xEE, 1, kDiskSectors - 1);
    disk[510] = std::byte{0x55};
    disk[511] = std::byte{0xAA};
    std::vector<std::byte> array(kEntries * kEntrySize);
    for (const GptEntry& e : entries) EncodeGptEntry(e, array, kEntrySize);
    GptHeader h;
    h.firstUsableLba = 34;
    h.lastUsableLba = kDiskSectors - 34;
    h.diskGuid = *ParseGuid("11111111-2222-3333-4444-555555555555");
    h.entryCount = kEntries;
    h.entrySize = kEntrySize;
    h.entriesCrc = Crc32(array);
    const auto putCopy = [&](std::uint64_t headerLba, std::uint64_t backupLba, std::uint64_t arrayLba) {
        h.currentLba = headerLba;
        h.backupLba = backupLba;
        h.entriesLba = arrayLba;
        EncodeGptHeader(h, SectorsOf(disk, headerLba, 1));
        std::copy(array.begin(), array.end(), SectorsOf(disk, arrayLba, 32).begin());
    };
    putCopy(1, kDiskSectors - 1, 2);
    putCopy(kDiskSectors - 1, 1, kDiskSectors - 33);
}

GptEntry Entry(std::uint32_t index, const char* type, std::uint64_t first, std::uint64_t last,
               const char* name) {
    GptEntry e;
    e.index = index;
    e.typeGuid = *ParseGuid(type);
    e.uniqueGuid = *ParseGuid("AAAAAAAA-BBBB-CCCC-DDDD-000000000000");
    e.uniqueGuid[15] = static_cast<std::byte>(index + 1);
    e.firstLba = first;
    e.lastLba = last;
    e.name = name;
    return e;
}

std::string Describe(const PartitionList& list) {
    std::string out;
    for (const PartitionInfo& p : list) {
        if (!out.empty()) out += " ";
        out += p.FsName() + "@" + std::to_string(p.startSector) + "+" + std::to_string(p.totalBytes / 512);
    }
    return out;
}

struct Walked {
    PartitionList list;
    bool ok = false;
    std::string note;
};

Walked Walk(FakeDeviceMap& map) {
    CDiskInventory inventory(map);
    inventory.Refresh();
    Walked w;
    w.ok = inventory.ReadPartitionTable(0, w.list);
    w.note = inventory.PartitionTableNote(0);
    return w;
}

// Three partitions: an NTFS boot sector, an EXT4 superblock, nothing recognisable (named by its type).
std::vector<std::byte>& ThreePartitionDisk(FakeDeviceMap& map) {
    auto& disk = map.AddDisk(kDiskSectors);
    PutGpt(disk, {Entry(0, kBasicData, 2048, 3071, "win"), Entry(2, kLinuxData, 3072, 5119, "root"),
                  Entry(1, kLinuxData, 6144, 7167, "spare")});
    PutBytes(disk, 2048 * 512 + 3, "NTFS    ");
    const std::uint64_t sb = 3072 * 512 + 1024;
    PutU32(disk, sb + 0x18, 0);
    PutU16(disk, sb + 0x38, 0xEF53);
    PutU32(disk, sb + 0x60, 0x40);  // extents
    PutU32(disk, sb + 0xE0, 8);
    return disk;
}

TEST(GptWalk, EntriesBecomeNamedRecordsWithGapsBetween) {
    FakeDeviceMap map;
    ThreePartitionDisk(map);
    const Walked w = Walk(map);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(Describe(w.list),
              "Deleted@34+2014 #NTFS#@2048+1024 EXT4@3072+2048 Deleted@5120+1024 Linux data@6144+1024 "
              "Deleted@7168+991");
    EXPECT_EQ(w.note, "GPT");
    EXPECT_EQ(w.list[1].VolumeLabel(), "win");  // no file-system label: the GPT name
    EXPECT_EQ(w.list[1].typeCode, kGptRecordTypeCode);
    EXPECT_EQ(w.list[1].kind, PartitionInfo::kKindPrimary);
    EXPECT_EQ(w.list[2].bytesPerSector, 1024u);  // measured by the EXT probe
    EXPECT_EQ(w.list[3].typeCode, 0);
}

TEST(GptWalk, DamagedPrimaryFallsBackToTheBackupAndSaysSo) {
    struct Case {
        const char* name;
        std::uint64_t offset;  // a byte flipped in the primary copy
        const char* why;
    };
    for (const Case& c : {Case{"header", 512 + 40, "header checksum mismatch"},
                          Case{"array", 2 * 512 + 32, "entry array checksum mismatch"},
                          Case{"signature", 512, "no GPT signature"}}) {
        SCOPED_TRACE(c.name);
        FakeDeviceMap map;
        auto& disk = ThreePartitionDisk(map);
        disk[c.offset] ^= std::byte{0x01};
        const Walked w = Walk(map);
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.note, std::string("GPT (backup header; primary: ") + c.why + ")");
        ASSERT_EQ(w.list.size(), 6u);
        EXPECT_EQ(w.list[2].FsName(), "EXT4");
    }
}

TEST(GptWalk, BothCopiesDamagedLeavesTheProtectiveEntry) {
    FakeDeviceMap map;
    auto& disk = ThreePartitionDisk(map);
    disk[512 + 40] ^= std::byte{0x01};
    disk[(kDiskSectors - 1) * 512 + 40] ^= std::byte{0x01};
    const Walked w = Walk(map);
    EXPECT_EQ(Describe(w.list), "Unknown@1+8191");
    EXPECT_EQ(w.note.rfind("GPT unreadable: primary GPT: header checksum mismatch; backup GPT:", 0), 0u)
        << w.note;
}

// Hostile headers and entries: nothing is read outside the disk, nothing overlaps, nothing wraps.
TEST(GptWalk, HostileTablesAreRefusedOrTrimmed) {
    {
        FakeDeviceMap map;
        auto& disk = map.AddDisk(kDiskSectors);
        PutGpt(disk,
               {Entry(0, kBasicData, 2048, 3071, "a"), Entry(1, kBasicData, 3000, 4000, "overlaps"),
                Entry(2, kBasicData, 5000, 4000, "reversed"), Entry(3, kBasicData, 7000, 9000, "past end")});
        EXPECT_EQ(Describe(Walk(map).list), "Deleted@34+2014 Basic data@2048+1024 Deleted@3072+5087");
    }
    for (const auto& [offset, value] : {std::pair{80u, 0xFFFFFFFFu}, std::pair{84u, 100u},
                                        std::pair{72u, 8190u}, std::pair{48u, 9000u}, std::pair{12u, 600u}}) {
        SCOPED_TRACE(offset);
        FakeDeviceMap map;
        auto& disk = map.AddDisk(kDiskSectors);
        PutGpt(disk, {Entry(0, kBasicData, 2048, 3071, "a")});
        // Break both copies the same way, with checksums that match, so only the range checks stand.
        for (std::uint64_t lba : {std::uint64_t{1}, std::uint64_t{kDiskSectors - 1}}) {
            auto header = SectorsOf(disk, lba, 1);
            PutU32(disk, lba * 512 + offset, value);
            PutU32(disk, lba * 512 + 16, 0);
            PutU32(disk, lba * 512 + 16, Crc32(header.first(92)));
        }
        const Walked w = Walk(map);
        EXPECT_EQ(Describe(w.list), "Unknown@1+8191");
    }
}

TEST(GptTable, GuidTextRoundTripAndKnownNames) {
    const auto guid = ParseGuid("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
    ASSERT_TRUE(guid);
    EXPECT_EQ(std::to_integer<int>((*guid)[0]), 0x28);  // first field stored little-endian
    EXPECT_EQ(std::to_integer<int>((*guid)[8]), 0xBA);  // last two fields stored as written
    EXPECT_EQ(GuidText(*guid), "C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
    EXPECT_STREQ(GptTypeName(*guid), "EFI System");
    EXPECT_FALSE(ParseGuid("C12A7328F81F-11D2-BA4B-00A0C93EC93B0"));
    EXPECT_FALSE(ParseGuid("X12A7328-F81F-11D2-BA4B-00A0C93EC93B"));
    // The check value of the CRC-32 every GPT checksum uses.
    const std::string text = "123456789";
    EXPECT_EQ(Crc32(std::as_bytes(std::span(text.data(), text.size()))), 0xCBF43926u);
}

// A partition found in a GPT gap goes into the first free slot of both arrays, with both headers
// checksums renewed; an overlap or a full array writes nothing.
TEST(GptRestore, OneSlotInBothCopiesOrNothing) {
    FakeDeviceMap map;
    auto& disk = ThreePartitionDisk(map);
    CDiskInventory inventory(map);
    inventory.Refresh();
    PartitionInfo lost;
    lost.diskNumber = 0;
    lost.kind = PartitionInfo::kKindPrimary;
    lost.tableSector = lost.startSector = 5120;
    lost.totalBytes = 1024 * 512;
    lost.SetFsName("EXT3");
    const RestorePlan plan = PlanRestore(inventory, map, 0, lost);
    ASSERT_EQ(plan.result, kRestoreDone);
    std::vector<std::uint32_t> sectors;
    for (const SectorWrite& w : plan.writes) sectors.push_back(w.sector);
    // Slot 4 (index 3) lies in the first sector of each array.
    EXPECT_EQ(sectors, (std::vector<std::uint32_t>{5120, 1, 2, kDiskSectors - 33, kDiskSectors - 1}));
    ASSERT_FALSE(plan.entries.empty());
    EXPECT_EQ(plan.entries[0].rfind("GPT entry 4: start 5120, 1024 sectors", 0), 0u) << plan.entries[0];

    for (const SectorWrite& w : plan.writes)
        std::copy(w.bytes.begin(), w.bytes.end(), disk.begin() + w.sector * 512);
    const std::string restored =
        "Deleted@34+2014 #NTFS#@2048+1024 EXT4@3072+2048 Linux data@5120+1024 Linux data@6144+1024 "
        "Deleted@7168+991";
    Walked w = Walk(map);
    EXPECT_EQ(Describe(w.list), restored);
    EXPECT_EQ(w.note, "GPT");
    EXPECT_EQ(w.list[3].VolumeLabel(), "Recovered EXT3");
    disk[512 + 40] ^= std::byte{0x01};  // the backup copy was renewed too
    w = Walk(map);
    EXPECT_EQ(Describe(w.list), restored);
    EXPECT_EQ(w.note, "GPT (backup header; primary: header checksum mismatch)");

    auto device = map.OpenPhysicalDrive(0, AccessMode::ReadOnly);
    ASSERT_TRUE(device);
    lost.startSector = 7000;  // overlaps the partition at 6144
    EXPECT_EQ(PlanGptRestore(**device, kDiskSectors, lost).result, kRestoreNoGap);
    lost.startSector = 8000;  // reaches past the last usable sector
    EXPECT_EQ(PlanGptRestore(**device, kDiskSectors, lost).result, kRestoreNoGap);

    FakeDeviceMap fullMap;
    auto& full = fullMap.AddDisk(kDiskSectors);
    std::vector<GptEntry> entries;
    for (std::uint32_t i = 0; i < kEntries; ++i)
        entries.push_back(Entry(i, kBasicData, 2048 + i * 8, 2055 + i * 8, "x"));
    PutGpt(full, entries);
    auto fullDevice = fullMap.OpenPhysicalDrive(0, AccessMode::ReadOnly);
    ASSERT_TRUE(fullDevice);
    lost.startSector = 4096;
    EXPECT_EQ(PlanGptRestore(**fullDevice, kDiskSectors, lost).result, kRestoreTableFull);
}

// A volume imaged on its own whose sector 0 holds old bytes or implausible entries is probed as one
// volume; a plausible table is still walked.
TEST(WholeVolume, NoisySectorZeroOverAVolumeIsOneRecord) {
    const auto ext3 = [](std::vector<std::byte>& disk) {
        PutU32(disk, 1024 + 0x18, 0);
        PutU16(disk, 1024 + 0x38, 0xEF53);
        PutU32(disk, 1024 + 0xE0, 8);
        PutBytes(disk, 1024 + 0x78, "old");
    };
    {
        FakeDeviceMap map;
        auto& disk = map.AddDisk(4096);
        ext3(disk);
        PutEntry(disk, 0, 1, 0x83, 77, 12345);
        disk[510] = disk[511] = std::byte{0};  // no 0x55 0xAA: old bytes
        EXPECT_EQ(Describe(Walk(map).list), "EXT3@0+4096");
    }
    {
        FakeDeviceMap map;
        auto& disk = map.AddDisk(4096);
        ext3(disk);
        PutEntry(disk, 0, 0, 0x07, 100, 50);
        disk[0x1BE] = std::byte{0x37};  // no boot flag a tool writes
        disk[510] = std::byte{0x55};
        disk[511] = std::byte{0xAA};
        EXPECT_EQ(Describe(Walk(map).list), "EXT3@0+4096");
    }
    {
        FakeDeviceMap map;
        auto& disk = map.AddDisk(4096);
        PutBytes(disk, 3, "EXFAT   ");
        disk[510] = std::byte{0x55};
        disk[511] = std::byte{0xAA};
        EXPECT_EQ(Describe(Walk(map).list), "Unknown@0+4096");
    }
    {
        FakeDeviceMap map;
        auto& disk = map.AddDisk(4096);
        ext3(disk);  // a superblock where a partitioned disk holds nothing of note
        PutEntry(disk, 0, 0, 0x07, 2048, 1024);
        disk[510] = std::byte{0x55};
        disk[511] = std::byte{0xAA};
        EXPECT_EQ(Describe(Walk(map).list), "Deleted@63+1985 #NTFS#@2048+1024 Deleted@3072+1024");
    }
}

}  // namespace
}  // namespace lumacore
