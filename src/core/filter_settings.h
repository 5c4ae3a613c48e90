#pragma once

#include <cstdint>
#include <string>

namespace lumacore {

// What a found file must satisfy to be listed: a file-type category (by extension), a date, a size
// range in kilobytes and a name text.
struct FilterSettings {
    enum DateMode : std::int32_t { kDateIgnore = 0, kDateBefore = 1, kDateAfter = 2, kDateOn = 3 };
    enum SizeMode : std::int32_t {
        kSizeIgnore = 0,
        kSizeEqual = 1,
        kSizeSmaller = 2,
        kSizeLarger = 3,
        kSizeBetween = 4,
    };

    std::string extensionList;  // lower-case extensions separated by "."
    std::int32_t category = 0;  // 0 = all files, 1..6 = the categories
    std::uint32_t date = 0;     // 16-bit DOS date in a 32-bit slot
    std::int32_t dateMode = kDateIgnore;
    double sizeValue1 = 0;  // kilobytes
    double sizeValue2 = 0;  // kilobytes, upper value of Between
    std::int32_t sizeMode = kSizeIgnore;
    std::string nameText;

    // Every number 0, both strings empty, date = today.
    static FilterSettings Initial();
};

}  // namespace lumacore
