#include "core/dos_date.h"

namespace lumacore {

std::uint16_t DosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) * 512 + month * 32 + day) & 0xFFFF);
}

std::uint16_t DosDateOf(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return DosDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::uint16_t TodayDosDate() { return DosDateOf(std::time(nullptr)); }

CalendarDate SplitDosDate(std::uint16_t date) {
    return CalendarDate{date / 512 + 1980, (date >> 5) & 0x0F, date & 0x1F};
}

}  // namespace lumacore
