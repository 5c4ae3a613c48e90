#include "core/filter_settings.h"

#include "core/dos_date.h"

namespace lumacore {

FilterSettings FilterSettings::Initial() {
    FilterSettings f;
    f.date = TodayDosDate();
    return f;
}

}  // namespace lumacore
