#pragma once

#include "cli/arguments.h"
#include "core/filter_settings.h"

namespace lumacore {

// --category 0..6, --date before|after|on:YYYY-MM-DD, --size equal|smaller|larger|between:KB[:KB],
// --name TEXT, mapped onto a filter that starts as a new run's filter.
void AddFilterOptions(OptionParser& options);
Result<FilterSettings> FilterFromOptions(const OptionParser& options);

}  // namespace lumacore
