#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/result_tree.h"

namespace lumacore {

// A piece of a file's data: `count` consecutive clusters from `first`.
struct FatClusterRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// What the scan could tell about where a file's data lies, from the FAT as it is today.
enum class FatDataState : std::uint8_t {
    Unchecked,    // not worked out (formatted-drive scan): consecutive clusters from the first one
    Intact,       // every cluster the data needs was free, or the file's own chain is whole
    Skipped,      // clusters in use by live files were stepped over: the data may be incomplete
    Overwritten,  // the first cluster belongs to something else today
    Short,        // the volume ended, or the pieces ran out, before the file's size was reached
};

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
    bool deleted = false;  // the entry itself is marked deleted (a file in a deleted folder may not be)
    FatDataState dataState = FatDataState::Unchecked;
    // Where the data lies, in file order; empty when it is the consecutive clusters from firstCluster.
    std::vector<FatClusterRun> runs;
};

// A folder's own times from its directory entry (DOS fields, as in FatFileNode), so that a recovered
// folder can be given them.
struct FatFolderTimes {
    std::uint16_t lastWriteTime = 0;
    std::uint16_t lastWriteDate = 0;
    std::uint16_t lastAccessDate = 0;
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
