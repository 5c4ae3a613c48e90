#pragma once

#include <cstdint>
#include <string>

#include "core/filter.h"
#include "engines/ntfs/ntfs_file_node.h"

namespace lumacore {

// The NTFS list view's texts.
// "%dB" below 1 KiB, "%0.1fKB" below 1 MiB, "%0.1fMB" below 1 GiB, else "%0.1fGB".
std::string NtfsSizeText(std::uint64_t size);
// One token per set flag, in flag order ("R-", "H-", ..., "Dir-", "In-"), then "Del-" for a deleted file.
std::string NtfsAttributeText(std::uint32_t attributes, bool deleted);
// A FILETIME in local time as "%d-%.2d-%.2d %.2d:%.2d:%.2d"; empty for 0.
std::string NtfsTimeText(std::uint64_t filetime);
// What the filter tests of a node: its name, the text after the name's last '.', the DOS date of its
// creation in local time (0 before 1970) and its size.
FilterSubject NtfsFilterSubject(const NtfsFileNode& node);

}  // namespace lumacore
