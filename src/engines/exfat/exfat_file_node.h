#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/result_tree.h"
#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

// One file found by an exFAT scan: what its entry set says, decoded for the lists.
struct ExfatFileNode {
    std::string displayName;            // the whole name, UTF-8
    std::string extension;              // lower case, at most 4 characters
    std::string attributeText;          // e.g. "RW", "H-R", "RW-S"
    std::uint64_t size = 0;             // data length
    std::uint64_t validDataLength = 0;  // bytes past this were never written and read back as zeros
    std::uint32_t firstCluster = 0;
    bool noFatChain = false;  // the data lies in consecutive clusters
    bool deleted = false;     // the set's in-use bit was clear
    ExfatTimestamp created;
    ExfatTimestamp modified;
    ExfatTimestamp accessed;
    bool checked = false;
};

// The files found in one folder, in the order found; owned by the folder's tree item.
using ExfatFileNodeList = std::vector<std::unique_ptr<ExfatFileNode>>;

using ExfatResultTree = ResultTree<ExfatFileNodeList>;

// The node the lists show for an entry set.
std::unique_ptr<ExfatFileNode> MakeExfatFileNode(const ExfatEntrySet& set);

}  // namespace lumacore
