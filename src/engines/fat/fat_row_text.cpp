#include "engines/fat/fat_row_text.h"

#include "core/dos_date.h"
#include "core/size_text.h"

namespace lumacore {

std::string FatDateTimeText(std::uint16_t date, std::uint16_t time) {
    const CalendarDate d = SplitDosDate(date);
    return Format("%d-%.2d-%.2d   %.2d:%.2d:%.2d", d.year, d.month, d.day, time >> 11, (time >> 5) & 0x3F,
                  (time & 0x1F) * 2);
}

std::string FatAccessDateText(std::uint16_t date) {
    const CalendarDate d = SplitDosDate(date);
    return Format("%d-%.2d-%.2d   12:00:00", d.year, d.month, d.day);
}

std::string FatDataNote(const FatFileNode& node) {
    switch (node.dataState) {
        case FatDataState::Skipped:
            return "data may be incomplete: clusters of live files skipped";
        case FatDataState::Overwritten:
            return "data may be incomplete: its first cluster is in use";
        case FatDataState::Short:
            return "data may be incomplete: too few free clusters";
        default:
            return {};
    }
}

}  // namespace lumacore
