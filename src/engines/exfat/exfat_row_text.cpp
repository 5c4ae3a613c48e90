#include "engines/exfat/exfat_row_text.h"

#include <cstdlib>

#include "core/dos_date.h"
#include "core/dos_file_text.h"
#include "core/size_text.h"

namespace lumacore {

std::string ExfatSizeText(std::uint64_t size) {
    if (size <= UINT32_MAX) return FatSizeText(static_cast<std::uint32_t>(size));
    return Format("%.2f MB", static_cast<double>(size) / (1024.0 * 1024.0));
}

std::string ExfatTimeText(const ExfatTimestamp& stamp) {
    const CalendarDate d = SplitDosDate(stamp.dosDate());
    const unsigned time = stamp.dosTime();
    const unsigned seconds = (time & 0x1F) * 2 + (stamp.tenMs >= 100 && stamp.tenMs < 200 ? 1 : 0);
    return Format("%d-%.2d-%.2d   %.2u:%.2u:%.2u", d.year, d.month, d.day, time >> 11, (time >> 5) & 0x3F,
                  seconds);
}

std::string ExfatUtcOffsetText(const ExfatTimestamp& stamp) {
    if (!stamp.hasUtcOffset()) return "";
    const int minutes = stamp.utcOffsetMinutes();
    return Format("%c%.2d:%.2d", minutes < 0 ? '-' : '+', std::abs(minutes) / 60, std::abs(minutes) % 60);
}

}  // namespace lumacore
