#include <gtest/gtest.h>

#include <cstdlib>

#include "core/dos_date.h"
#include "core/recovery_settings.h"

namespace lumacore {
namespace {

TEST(RecoverySettings, DefaultsMatchANewRun) {
    RecoverySettings s;
    EXPECT_EQ(s.RawSizeLimit, 512000);
    EXPECT_EQ(s.PartitionFirstSector, 0u);
    EXPECT_EQ(s.ScanEndSector, 0u);
    EXPECT_TRUE(s.VolumeRoot.empty());
    EXPECT_EQ(s.Filter.date, TodayDosDate());
    EXPECT_EQ(s.Filter.category, 0);
    EXPECT_EQ(s.Filter.sizeMode, 0);
    EXPECT_EQ(s.SelectedPartition, PartitionInfo{});
    EXPECT_EQ(s.Progress.Total(), 0);
}

TEST(RecoverySettings, SelectingAPartitionSetsRootAndRange) {
    RecoverySettings s;
    s.NamePattern = "old";
    PartitionInfo p;
    p.driveLetter = '*';
    p.startSector = 63;
    p.totalBytes = 1048576;
    s.SelectPartition(p);
    EXPECT_EQ(s.VolumeRoot, "*:\\");
    EXPECT_TRUE(s.NamePattern.empty());
    EXPECT_EQ(s.PartitionFirstSector, 63u);
    EXPECT_EQ(s.ScanStartSector, 63u);
    EXPECT_EQ(s.PartitionEndSector, 2111u);
    EXPECT_EQ(s.ScanEndSector, 2111u);
    EXPECT_EQ(s.SelectedPartition, p);

    p.driveLetter = 'F';
    p.startSector = 0xFFFFFF00;
    p.totalBytes = std::uint64_t{0x200} * 512;  // the end wraps like the 32-bit sector number it is
    s.SelectPartition(p);
    EXPECT_EQ(s.VolumeRoot, "F:\\");
    EXPECT_EQ(s.PartitionEndSector, 0x100u);
}

TEST(DosDate, TodayIsYearMonthDayPacked) {
    EXPECT_EQ(DosDate(2011, 12, 31), 16287);
    EXPECT_EQ(DosDate(1980, 1, 1), 33);
    const CalendarDate d = SplitDosDate(16287);
    EXPECT_EQ(d.year, 2011);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 31);

    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(DosDateOf(1325332800), 16287);  // 2011-12-31 12:00:00 UTC
    if (oldTz) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace lumacore
