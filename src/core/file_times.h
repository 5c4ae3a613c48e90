#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumacore {

// A moment as Unix time: seconds since 1970-01-01 UTC (negative before) and the nanoseconds past them.
struct FileTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// The times a found file carries, each absent when its file system does not store it or stored zero.
// "created" is the birth time; EXT2/3 keep none (their ctime is the inode's last change).
struct FileTimes {
    std::optional<FileTime> modified;
    std::optional<FileTime> accessed;
    std::optional<FileTime> created;

    bool empty() const { return !modified && !accessed && !created; }
};

// FILETIME: 100 ns units since 1601-01-01 UTC; 0 means "not set".
std::optional<FileTime> FromFiletime(std::uint64_t filetime);

// Unix seconds as EXT stores them (unsigned 32-bit, so good until 2106); 0 means "not set".
std::optional<FileTime> FromUnixSeconds(std::uint32_t seconds);

// A DOS date and time as FAT stores them: local time of the machine that wrote them, 2-second steps,
// read here in this machine's time zone (the volume says nothing better). `hundredths` (0..199) is the
// finer part FAT keeps for creation times and exFAT for creation and modification. A date of 0 or an
// impossible one (month 0 or 13, say) gives nothing.
std::optional<FileTime> FromDosLocal(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths = 0);

// An exFAT timestamp: the DOS fields, plus the UTC offset in minutes when the volume recorded one (then
// the fields are read in that zone instead of this machine's).
std::optional<FileTime> FromDosWithOffset(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths,
                                          std::optional<int> utcOffsetMinutes);

// "2024-03-14T10:05:00Z", with ".123456789" when there are nanoseconds: how reports write times.
std::string Iso8601Utc(const FileTime& time);

}  // namespace lumacore
