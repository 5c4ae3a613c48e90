#pragma once

#include <string>
#include <string_view>

#include "core/disk_info.h"
#include "core/partition_info.h"
#include "core/scan_mode.h"

namespace lumacore {

// The drive page's tree texts.
constexpr const char* kMyComputerText = "My Computer";

// "%s (%.2f GB)" (or MB, KB) with the model text; "%s (%d Byte)" under 1024 bytes.
std::string DiskItemText(const DiskInfo& disk);

// The partition page's disk list: "%s (  BusType :  %s ,    Size :  %.2f GB  )" (MB alike; the KB form
// has no space before the bracket and three after the colon; "%d B" under 1024 bytes).
std::string DiskListItemText(const DiskInfo& disk);

// "(%c:\) %s (%.2f GB)" (or MB, KB) with the letter, the file-system name and the total size.
std::string VolumeItemText(const PartitionInfo& volume);

// The RAW mode's item for a whole disk: "(*:\) Whole Disk (%.2f GB)" (or MB, KB) with its size.
std::string WholeDiskItemText(const PartitionInfo& wholeDisk);

// Whether the drive page lists a volume with this file-system name in the given mode: every record in
// the signature-search mode; the lettered FAT, NTFS and exFAT volumes in the formatted-drive mode;
// those and EXT2/EXT3/EXT4 in the deleted-file mode.
bool ModeAdmits(int mode, std::string_view fsName);

}  // namespace lumacore
