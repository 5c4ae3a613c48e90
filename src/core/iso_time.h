#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumacore {

// ISO 8601 texts for the machine-readable listings. The form says which clock a time is on: "...Z" is
// UTC, "...+hh:mm" carries the offset the volume stored, and no suffix is the local time of whatever
// machine wrote it, its zone not recorded (FAT).

// A Unix time in UTC: "2024-03-14T10:05:00Z".
std::string IsoUtcText(std::int64_t unixSeconds);

// A Windows FILETIME (100 ns ticks since 1601, UTC) as "...Z"; empty for 0, which means "not set".
std::string IsoFiletimeText(std::uint64_t filetime);

// A DOS date and time as stored ("2024-03-14T10:05:00", seconds = 2 x the field, plus the whole
// seconds of `tenMs` where the format keeps them); with `offsetMinutes` the offset east of UTC follows
// ("+01:00"). Empty when the date is 0 or impossible.
std::string IsoDosText(std::uint16_t date, std::uint16_t time, std::uint8_t tenMs = 0,
                       std::optional<int> offsetMinutes = std::nullopt);

// A DOS date alone ("2024-03-14"): FAT keeps no time of last access. Empty when 0 or impossible.
std::string IsoDosDateText(std::uint16_t date);

}  // namespace lumacore
