#pragma once

#include <cstdint>
#include <string>

#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

// The exFAT list view's texts, laid out as the FAT list's.
// "%d Byte" below 1024, "%.2f KB", and "%.2f MB" once the kilobytes exceed 1024 (sizes past 4 GiB too).
std::string ExfatSizeText(std::uint64_t size);
// "%d-%.2d-%.2d   %.2d:%.2d:%.2d" in the writer's local time, the seconds including the odd second
// that the 10 ms part carries.
std::string ExfatTimeText(const ExfatTimestamp& stamp);
// "+01:00"-style offset from UTC, or "" when the timestamp does not record one.
std::string ExfatUtcOffsetText(const ExfatTimestamp& stamp);

}  // namespace lumacore
