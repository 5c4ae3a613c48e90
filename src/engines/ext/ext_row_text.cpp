#include "engines/ext/ext_row_text.h"

#include "core/dos_date.h"
#include "core/size_text.h"

namespace lumacore {

namespace {

// The list shows EXT times at UTC+8, whatever the machine's own zone.
constexpr std::int64_t kShownOffsetSeconds = 8 * 60 * 60;

struct CivilTime {
    std::int64_t year = 1970;
    unsigned month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm), without the C
// library's time zone or its 32-bit limits.
CivilTime ToCivil(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    CivilTime t;
    t.hour = static_cast<unsigned>(rest / 3600);
    t.minute = static_cast<unsigned>(rest % 3600 / 60);
    t.second = static_cast<unsigned>(rest % 60);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    t.day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    t.year = yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0);
    return t;
}

}  // namespace

std::string ExtRowName(const ExtFileNode& node) {
    if (node.name == kExtUnknownName) return Format("inode(%08X)", node.inodeNumber);
    return node.name;
}

std::string ExtSizeText(std::uint64_t size) {
    const double value = static_cast<double>(size);
    if (size < 1024) return Format("%llu B", static_cast<unsigned long long>(size));
    if (size <= 0xFFFFF) return Format("%5.2f KB", value / 1024.0);
    if (size > 0x3FFFFFFF) return Format("%5.2f GB", value / 1073741824.0);
    return Format("%5.2f MB", value / 1048576.0);
}

std::string ExtPermissionText(std::uint16_t mode) {
    std::string text = "------";
    static constexpr struct {
        std::uint16_t bit;
        char letter;
    } kBits[] = {{0400, 'r'}, {0200, 'w'}, {0100, 'x'}, {040, 'r'}, {020, 'w'}, {010, 'x'}};
    for (std::size_t i = 0; i < 6; ++i) {
        if ((mode & kBits[i].bit) != 0) text[i] = kBits[i].letter;
    }
    return text;
}

std::string ExtTimeText(std::uint32_t unixTime) {
    const CivilTime t = ToCivil(std::int64_t{unixTime} + kShownOffsetSeconds);
    return Format("%lld-%02u-%02u %02u:%02u:%02u", static_cast<long long>(t.year), t.month, t.day, t.hour,
                  t.minute, t.second);
}

std::uint16_t ExtDosDate(std::uint32_t unixTime) {
    const CivilTime t = ToCivil(std::int64_t{unixTime} + kShownOffsetSeconds);
    return DosDate(static_cast<int>(t.year), static_cast<int>(t.month), static_cast<int>(t.day));
}

}  // namespace lumacore
