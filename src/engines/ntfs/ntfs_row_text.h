#pragma once

#include <cstdint>
#include <string>

namespace lumacore {

// The NTFS list view's texts.
// "%dB" below 1 KiB, "%0.1fKB" below 1 MiB, "%0.1fMB" below 1 GiB, else "%0.1fGB".
std::string NtfsSizeText(std::uint64_t size);
// One token per set flag, in flag order ("R-", "H-", ..., "Dir-", "In-"), then "Del-" for a deleted file.
std::string NtfsAttributeText(std::uint32_t attributes, bool deleted);
// A FILETIME in local time as "%d-%.2d-%.2d %.2d:%.2d:%.2d"; empty for 0.
std::string NtfsTimeText(std::uint64_t filetime);

}  // namespace lumacore
