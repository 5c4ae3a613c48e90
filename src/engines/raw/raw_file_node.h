#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/result_tree.h"

namespace lumacore {

// How a carved file's end was found.
enum class RawFileEnd : std::uint8_t {
    kParsed,      // its format says where it ends
    kNextHeader,  // the next header, as far as anything tells
    kSizeLimit,   // the size limit cut it
    kRangeEnd,    // the scan range ended inside it
    kPartial,     // its data stops being valid there: the rest was cut off or overwritten
};
// "parsed", "next-header", "size-limit", "range-end", "partial".
std::string_view RawFileEndText(RawFileEnd end);

// One piece of a carved file: bytes from a sector, relative to the partition's start.
struct RawExtent {
    std::uint64_t firstSector = 0;
    std::uint64_t length = 0;
    bool operator==(const RawExtent&) const = default;
};

// One file cut out of the scanned range: from a sector where a signature matched to where its format
// ends it, or else to the next such sector, the range's end or the size limit.
struct RawFileNode {
    std::string name;         // "File%d.%s": the number of files found before it, the signature's extension
    std::string description;  // the signature's description
    std::string extension;
    std::uint64_t firstSector = 0;  // relative to the partition's start
    std::uint64_t length = 0;       // bytes; whole sectors unless the format ended the file
    bool selected = false;
    RawFileEnd ended = RawFileEnd::kNextHeader;
    // Empty for a file in one piece (firstSector, length); else its pieces in file order, the first
    // starting at firstSector, their lengths adding up to length.
    std::vector<RawExtent> fragments{};
};

// The pieces of a file in order: its fragments, or the one run from its first sector.
std::vector<RawExtent> RawFileExtents(const RawFileNode& node);

// The RAW tree: the root "RAW - Logical Disk (%c:)" and one child per file kind, each holding the
// indices of its files in the carver's found list.
using RawResultTree = ResultTree<std::vector<std::uint32_t>>;

}  // namespace lumacore
