#pragma once

#include <cstdint>
#include <string>

#include "core/dos_file_text.h"
#include "engines/fat/fat_file_node.h"

namespace lumacore {

// The FAT list view's texts.
// "%d-%.2d-%.2d   %.2d:%.2d:%.2d" (three blanks; seconds are twice the stored field).
std::string FatDateTimeText(std::uint16_t date, std::uint16_t time);
// The last access has a date only: "%d-%.2d-%.2d   12:00:00".
std::string FatAccessDateText(std::uint16_t date);
// What the list says when a file's data may not come back whole; empty when nothing is known against it.
std::string FatDataNote(const FatFileNode& node);

}  // namespace lumacore
