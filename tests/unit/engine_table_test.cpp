#include "session/engine_table.h"

#include <gtest/gtest.h>

#include "core/scan_mode.h"

namespace lumacore {
namespace {

PartitionInfo Named(const char* fsName) {
    PartitionInfo volume{};
    volume.SetFsName(fsName);
    return volume;
}

std::string EngineFor(const char* fsName, int mode) {
    const EngineRow* row = FindEngine(Named(fsName), mode);
    return row ? std::string(row->name) : "-";
}

// The command line reads table entries of the partition walk too; EXT has no formatted-drive scan.
TEST(EngineTable, VolumeNamesAndModesChooseTheEngine) {
    for (const char* name : {"FAT", "FAT16", "FAT32", "#FAT16#", "#FAT32#"}) {
        EXPECT_EQ(EngineFor(name, SCAN_DELETED), "FAT") << name;
        EXPECT_EQ(EngineFor(name, SCAN_FORMATTED), "FAT") << name;
    }
    for (const char* name : {"NTFS", "#NTFS#"}) {
        EXPECT_EQ(EngineFor(name, SCAN_DELETED), "NTFS") << name;
        EXPECT_EQ(EngineFor(name, SCAN_FORMATTED), "NTFS") << name;
    }
    for (const char* name : {"exFAT", "EXFAT", "#exFAT#"}) {
        EXPECT_EQ(EngineFor(name, SCAN_DELETED), "exFAT") << name;
        EXPECT_EQ(EngineFor(name, SCAN_FORMATTED), "exFAT") << name;
    }
    EXPECT_EQ(EngineFor("EXT2", SCAN_DELETED), "EXT");
    EXPECT_EQ(EngineFor("EXT3", SCAN_DELETED), "EXT");
    EXPECT_EQ(EngineFor("EXT3", SCAN_FORMATTED), "-");
    for (const char* name : {"Deleted", "SWAP", "fat32", ""})
        EXPECT_EQ(EngineFor(name, SCAN_DELETED), "-") << name;
    for (const char* name : {"NTFS", "Deleted", "EXT3"}) EXPECT_EQ(EngineFor(name, SCAN_RAW), "RAW") << name;
    EXPECT_EQ(EngineFor("NTFS", SCAN_PARTITION), "-");
}

// The desktop program opens pages only for the names the system gives lettered volumes.
TEST(EngineTable, ResultPagesFollowLetteredNames) {
    EXPECT_EQ(ResultPageFor(SCAN_DELETED, "FAT32"), ResultPageFamily::Fat32);
    EXPECT_EQ(ResultPageFor(SCAN_FORMATTED, "FAT"), ResultPageFamily::Fat16);
    EXPECT_EQ(ResultPageFor(SCAN_FORMATTED, "EXT3"), ResultPageFamily::Ext);
    EXPECT_EQ(ResultPageFor(SCAN_DELETED, "exFAT"), ResultPageFamily::Exfat);
    EXPECT_EQ(ResultPageFor(SCAN_FORMATTED, "exFAT"), ResultPageFamily::Exfat);
    EXPECT_EQ(ResultPageFor(SCAN_DELETED, "#FAT32#"), std::nullopt);
    EXPECT_EQ(ResultPageFor(SCAN_RAW, "Deleted"), ResultPageFamily::Raw);
    EXPECT_EQ(ResultPageFor(SCAN_PARTITION, "NTFS"), std::nullopt);
    EXPECT_TRUE(IsLetteredVolumeName("NTFS"));
    EXPECT_FALSE(IsLetteredVolumeName("#NTFS#"));
}

TEST(EngineTable, EveryRowCanScan) {
    for (const EngineRow& row : EngineTable()) {
        EXPECT_NE(row.scan, nullptr) << row.name;
        EXPECT_FALSE(row.modes.empty()) << row.name;
        for (const LetteredVolumeName& name : row.letteredNames) {
            EXPECT_EQ(FindEngine(Named(std::string(name.fsName).c_str()), SCAN_DELETED), &row) << name.fsName;
        }
    }
}

}  // namespace
}  // namespace lumacore
