#include "cli/filter_options.h"

#include <cstdlib>

#include "cli/volume_selection.h"
#include "core/dos_date.h"
#include "core/filter.h"

namespace lumacore {

namespace {

Error Usage(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

bool ParseKilobytes(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && value >= 0;
}

}  // namespace

void AddFilterOptions(OptionParser& options) {
    options
        .Value("--category", "0..6",
               "only files of a category: 1 office, 2 web, 3 image, 4 sound, 5 movie, 6 email")
        .Value("--date", "before|after|on:YYYY-MM-DD", "only files created before, after or on the date")
        .Value("--size", "equal|smaller|larger|between:KB[:KB]", "only files of that size in kilobytes")
        .Value("--name", "TEXT", "only files whose name holds TEXT, in any case");
}

Result<FilterSettings> FilterFromOptions(const OptionParser& options) {
    FilterSettings filter = FilterSettings::Initial();
    if (const auto category = options.Get("--category")) {
        std::uint64_t value = 0;
        if (!ParseUnsigned(*category, value) || value >= kFilterCategoryCount)
            return Usage("--category takes 0 to 6");
        filter.category = static_cast<std::int32_t>(value);
        if (const char* list = FilterCategoryList(filter.category)) filter.extensionList = list;
    }
    if (const auto date = options.Get("--date")) {
        const auto colon = date->find(':');
        const std::string mode = date->substr(0, colon);
        int year = 0, month = 0, day = 0;
        char tail = 0;
        if (colon == std::string::npos ||
            std::sscanf(date->c_str() + colon + 1, "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 ||
            year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > 31) {
            return Usage("--date takes before|after|on:YYYY-MM-DD");
        }
        if (mode == "before")
            filter.dateMode = FilterSettings::kDateBefore;
        else if (mode == "after")
            filter.dateMode = FilterSettings::kDateAfter;
        else if (mode == "on")
            filter.dateMode = FilterSettings::kDateOn;
        else
            return Usage("--date takes before|after|on:YYYY-MM-DD");
        filter.date = DosDate(year, month, day);
    }
    if (const auto size = options.Get("--size")) {
        const auto first = size->find(':');
        const std::string mode = size->substr(0, first);
        const auto second = first == std::string::npos ? std::string::npos : size->find(':', first + 1);
        const std::string low = first == std::string::npos ? "" : size->substr(first + 1, second - first - 1);
        const std::string high = second == std::string::npos ? "" : size->substr(second + 1);
        const bool between = mode == "between";
        if (!ParseKilobytes(low, filter.sizeValue1) ||
            (between && !high.empty() && !ParseKilobytes(high, filter.sizeValue2)) ||
            (!between && second != std::string::npos)) {
            return Usage("--size takes equal|smaller|larger|between:KB[:KB]");
        }
        if (mode == "equal")
            filter.sizeMode = FilterSettings::kSizeEqual;
        else if (mode == "smaller")
            filter.sizeMode = FilterSettings::kSizeSmaller;
        else if (mode == "larger")
            filter.sizeMode = FilterSettings::kSizeLarger;
        else if (between)
            filter.sizeMode = FilterSettings::kSizeBetween;
        else
            return Usage("--size takes equal|smaller|larger|between:KB[:KB]");
    }
    if (const auto name = options.Get("--name")) filter.nameText = *name;
    return filter;
}

}  // namespace lumacore
