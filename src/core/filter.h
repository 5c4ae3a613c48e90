#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/filter_settings.h"

namespace lumacore {

// The facts about a found file that the filter looks at; views into the engine's own record.
struct FilterSubject {
    std::string_view displayName;    // UTF-8
    std::string_view extension;      // without the dot, any case
    std::uint16_t creationDate = 0;  // DOS date
    std::uint64_t size = 0;          // bytes
};

// True when the file passes all four tests of `filter`: type (extension), date, size and name.
bool PassesFilter(const FilterSubject& file, FilterSettings filter);

// The number of file-type categories: 0 = all files, 1..6 = office, web, image, sound, movie, email.
inline constexpr int kFilterCategoryCount = 7;

// The category combo's item text; "" for a category outside 0..6.
const char* FilterCategoryText(int category);

// The "."-separated extension list a category puts into FilterSettings::extensionList; nullptr for
// category 0 (no extension test) and outside 1..6. The list is not always what the item text shows.
const char* FilterCategoryList(int category);

// Lower-cases UTF-8 text without a locale, so that the name test behaves the same on every machine:
// ASCII, Latin-1, Latin Extended-A and Additional, Greek, Cyrillic and full-width Latin capitals become
// small letters; other characters and bytes that are not valid UTF-8 stay exactly as they are.
std::string LowerCaseUtf8(std::string_view text);

}  // namespace lumacore
