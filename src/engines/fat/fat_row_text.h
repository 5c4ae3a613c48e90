#pragma once

#include <cstdint>
#include <string>

#include "engines/fat/fat_file_node.h"

namespace lumacore {

// The FAT list view's texts.
// "%d Byte" below 1024, "%.2f KB", and "%.2f MB" once the kilobytes exceed 1024.
std::string FatSizeText(std::uint32_t size);
// "%d-%.2d-%.2d   %.2d:%.2d:%.2d" (three blanks; seconds are twice the stored field).
std::string FatDateTimeText(std::uint16_t date, std::uint16_t time);
// The last access has a date only: "%d-%.2d-%.2d   12:00:00".
std::string FatAccessDateText(std::uint16_t date);
// What the list says when a file's data may not come back whole; empty when nothing is known against it.
std::string FatDataNote(const FatFileNode& node);

}  // namespace lumacore
