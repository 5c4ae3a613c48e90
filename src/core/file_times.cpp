#include "core/file_times.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace lumacore {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kFiletimeEpochOffset = 11644473600;
constexpr std::uint64_t kFiletimeUnitsPerSecond = 10000000;

struct DosFields {
    std::tm tm{};
    bool valid = false;
};

DosFields SplitDos(std::uint16_t date, std::uint16_t time) {
    DosFields fields;
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0x0F;
    const int year = (date >> 9) + 1980;
    const int seconds = (time & 0x1F) * 2;
    const int minutes = (time >> 5) & 0x3F;
    const int hours = time >> 11;
    if (date == 0 || day == 0 || month == 0 || month > 12 || hours > 23 || minutes > 59 || seconds > 59) {
        return fields;
    }
    fields.tm.tm_year = year - 1900;
    fields.tm.tm_mon = month - 1;
    fields.tm.tm_mday = day;
    fields.tm.tm_hour = hours;
    fields.tm.tm_min = minutes;
    fields.tm.tm_sec = seconds;
    fields.valid = true;
    return fields;
}

// The last answers of mktime by DOS date and time. glibc's mktime looks at the zone file again on every
// call (a stat of /etc/localtime), and a recovery asks for three times per file, mostly the same few as
// files are written in bursts. Per thread, and forgotten when TZ changes, so that an answer is always
// the one mktime gives under the zone in force.
struct LocalTimeMemo {
    static constexpr std::size_t kSlots = 64;
    struct Slot {
        std::uint32_t key = 0;  // date << 16 | time; 0 is no valid DOS date, so an empty slot
        std::int64_t seconds = 0;
        bool failed = false;
    };
    std::array<Slot, kSlots> slots{};
    bool hadZone = false;
    std::string zone;  // TZ as it was when the slots were filled

    // Empties the memo when TZ is not what it was.
    void FollowZone() {
        const char* now = std::getenv("TZ");
        if ((now != nullptr) == hadZone && (now == nullptr || zone == now)) return;
        slots = {};
        hadZone = now != nullptr;
        zone = now != nullptr ? now : "";
    }
};

std::optional<std::int64_t> LocalToUnix(std::uint16_t date, std::uint16_t time, std::tm tm) {
    thread_local LocalTimeMemo memo;
    memo.FollowZone();
    const std::uint32_t key = std::uint32_t{date} << 16 | time;
    LocalTimeMemo::Slot& slot = memo.slots[(key ^ (key >> 11) ^ (key >> 22)) % LocalTimeMemo::kSlots];
    if (slot.key != key) {
        tm.tm_isdst = -1;  // let the zone's rules say whether summer time applied that day
        const std::time_t local = std::mktime(&tm);
        slot = {key, static_cast<std::int64_t>(local), local == static_cast<std::time_t>(-1)};
    }
    if (slot.failed) return std::nullopt;
    return slot.seconds;
}

FileTime WithHundredths(std::int64_t seconds, std::uint8_t hundredths) {
    // Up to 199 hundredths: the odd second the 2-second DOS field cannot hold, and the fraction.
    const std::uint8_t capped = hundredths > 199 ? 0 : hundredths;
    return {seconds + capped / 100, static_cast<std::uint32_t>(capped % 100) * 10000000u};
}

}  // namespace

std::optional<FileTime> FromFiletime(std::uint64_t filetime) {
    if (filetime == 0) return std::nullopt;
    const auto seconds = static_cast<std::int64_t>(filetime / kFiletimeUnitsPerSecond) - kFiletimeEpochOffset;
    return FileTime{seconds, static_cast<std::uint32_t>(filetime % kFiletimeUnitsPerSecond) * 100u};
}

std::optional<FileTime> FromUnixSeconds(std::uint32_t seconds) {
    if (seconds == 0) return std::nullopt;
    return FileTime{static_cast<std::int64_t>(seconds), 0};
}

std::optional<FileTime> FromDosLocal(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths) {
    return FromDosWithOffset(date, time, hundredths, std::nullopt);
}

std::optional<FileTime> FromDosWithOffset(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths,
                                          std::optional<int> utcOffsetMinutes) {
    DosFields fields = SplitDos(date, time);
    if (!fields.valid) return std::nullopt;
    std::int64_t seconds = 0;
    if (utcOffsetMinutes) {
        seconds = static_cast<std::int64_t>(::timegm(&fields.tm)) - std::int64_t{*utcOffsetMinutes} * 60;
    } else {
        const std::optional<std::int64_t> local = LocalToUnix(date, time, fields.tm);
        if (!local) return std::nullopt;
        seconds = *local;
    }
    return WithHundredths(seconds, hundredths);
}

std::string Iso8601Utc(const FileTime& time) {
    const auto moment = static_cast<std::time_t>(time.seconds);
    std::tm utc{};
    if (::gmtime_r(&moment, &utc) == nullptr) return {};
    char text[48];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::string result(text, length);
    if (time.nanoseconds != 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%09u", time.nanoseconds);
        result += fraction;
    }
    return result + "Z";
}

}  // namespace lumacore
