#pragma once

#include <cstdint>
#include <ctime>

namespace lumacore {

// DOS date: ((year - 1980) * 512) + (month * 32) + day, kept to 16 bits. Compared as raw values,
// DOS dates order by year, month and day.
std::uint16_t DosDate(int year, int month, int day);

// Today's date in local time, as a DOS date.
std::uint16_t TodayDosDate();

// The DOS date of a given moment in local time (what TodayDosDate uses; exposed for tests).
std::uint16_t DosDateOf(std::time_t moment);

struct CalendarDate {
    int year = 1980;
    int month = 0;
    int day = 0;
};

// Splits a DOS date: year = date / 512 + 1980, month = bits 5-8, day = bits 0-4.
CalendarDate SplitDosDate(std::uint16_t date);

}  // namespace lumacore
