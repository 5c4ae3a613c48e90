#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/result_tree.h"

namespace lumacore {

// One file cut out of the scanned range: from a sector where a signature matched to the next such
// sector, the range's end or the size limit.
struct RawFileNode {
    std::string name;         // "File%d.%s": the number of files found before it, the signature's extension
    std::string description;  // the signature's description
    std::string extension;
    std::uint64_t firstSector = 0;  // relative to the partition's start
    std::uint64_t length = 0;       // bytes, always whole sectors
    bool selected = false;
};

// The RAW tree: the root "RAW - Logical Disk (%c:)" and one child per file kind, each holding the
// indices of its files in the carver's found list.
using RawResultTree = ResultTree<std::vector<std::uint32_t>>;

}  // namespace lumacore
