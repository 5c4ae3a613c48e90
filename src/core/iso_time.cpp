#include "core/iso_time.h"

#include <cstdio>
#include <ctime>

#include "core/dos_date.h"

namespace lumacore {

namespace {

bool PlausibleDosDate(const CalendarDate& d) {
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31;
}

}  // namespace

std::string IsoUtcText(std::int64_t unixSeconds) {
    const auto moment = static_cast<std::time_t>(unixSeconds);
    std::tm t{};
    if (gmtime_r(&moment, &t) == nullptr) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string IsoFiletimeText(std::uint64_t filetime) {
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
    if (filetime == 0) return {};
    return IsoUtcText(static_cast<std::int64_t>(filetime / kTicksPerSecond) - kSecondsFrom1601To1970);
}

std::string IsoDosText(std::uint16_t date, std::uint16_t time, std::uint8_t tenMs,
                       std::optional<int> offsetMinutes) {
    const CalendarDate d = SplitDosDate(date);
    if (date == 0 || !PlausibleDosDate(d)) return {};
    // A field past its range (hour 31, minute 63) is shown as stored rather than carried into the next day.
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02u:%02u:%02u", d.year, d.month, d.day,
                  static_cast<unsigned>(time >> 11), static_cast<unsigned>((time >> 5) & 0x3F),
                  static_cast<unsigned>((time & 0x1F) * 2 + tenMs / 100));
    std::string out = text;
    if (offsetMinutes) {
        const int minutes = *offsetMinutes < 0 ? -*offsetMinutes : *offsetMinutes;
        std::snprintf(text, sizeof text, "%c%02d:%02d", *offsetMinutes < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        out += text;
    }
    return out;
}

std::string IsoDosDateText(std::uint16_t date) {
    const CalendarDate d = SplitDosDate(date);
    if (date == 0 || !PlausibleDosDate(d)) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

}  // namespace lumacore
