#pragma once

#include <cstdint>
#include <string>

#include "engines/ext/ext_file_node.h"

namespace lumacore {

// The EXT list view's texts.
// The record's name, or "inode(%p)" (eight upper-case hexadecimal digits) while it has none.
std::string ExtRowName(const ExtFileNode& node);
// "%d B" below 1024, "%5.2f KB" up to 0xFFFFF, "%5.2f MB" up to 0x3FFFFFFF, "%5.2f GB" above.
std::string ExtSizeText(std::uint64_t size);
// "------" with r, w, x for the owner's and the group's permission bits.
std::string ExtPermissionText(std::uint16_t mode);
// A Unix time in the machine's local time: "%d-%02d-%02d %02d:%02d:%02d".
std::string ExtTimeText(std::uint32_t unixTime);
// The DOS date of ExtTimeText's day, for the filter's date test.
std::uint16_t ExtDosDate(std::uint32_t unixTime);

}  // namespace lumacore
