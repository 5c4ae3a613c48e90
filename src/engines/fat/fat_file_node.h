#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/result_tree.h"

namespace lumacore {

// One file found by a FAT scan. Names are UTF-8 (long names are converted from UCS-2; short names
// hold printable ASCII only).
struct FatFileNode {
    std::string displayName;    // "name.ext", or the name alone when the extension is empty
    std::string extension;      // lower case, at most 4 characters
    std::string attributeText;  // e.g. "RW", "H-R", "RW-S"
    std::uint32_t size = 0;
    std::uint32_t firstCluster = 0;
    std::uint16_t creationTime = 0;
    std::uint16_t creationDate = 0;
    std::uint16_t lastAccessDate = 0;
    std::uint16_t lastWriteTime = 0;
    std::uint16_t lastWriteDate = 0;
    bool checked = false;
};

// The files found in one folder, in the order found; owned by the folder's tree item.
using FileNodeList = std::vector<std::unique_ptr<FatFileNode>>;

using FatResultTree = ResultTree<FileNodeList>;

// A folder waiting to be read (deleted-file scan), or a run of directory clusters (formatted-drive
// scan, where `item` is the parent item and `live` holds the run length in clusters).
struct FatFolderEntry {
    std::uint32_t firstCluster = 0;
    FatResultTree::ItemId item = FatResultTree::kNoItem;
    std::string name;
    std::uint32_t live = 0;
};

}  // namespace lumacore
