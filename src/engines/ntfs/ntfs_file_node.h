#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/result_tree.h"

namespace lumacore {

// $STANDARD_INFORMATION and $FILE_NAME flags the views and the tree care about.
inline constexpr std::uint32_t kNtfsAttrReadOnly = 0x0001;
inline constexpr std::uint32_t kNtfsAttrCompressed = 0x0800;
inline constexpr std::uint32_t kNtfsAttrDirectory = 0x10000000;

// One file (or one named data stream of a file) found by an NTFS scan.
struct NtfsFileNode {
    // The chosen $FILE_NAME in UTF-8, with '?' replaced by '_'. A named stream is listed as
    // "name:stream" and recovered to a file of its own.
    std::string name;
    std::string streamName;  // UTF-8; empty for the file's unnamed $DATA stream
    std::uint32_t recordNumber = 0;
    std::int32_t imageIndex = 0;
    // The folders above the file, nearest parent first, with their MFT record numbers (or the
    // numbers given to invented "Dir%d" / "Lost Files%d" folders). Empty for a file in the root.
    std::vector<std::string> pathNames;
    std::vector<std::uint32_t> pathRecords;
    // FILETIMEs from $STANDARD_INFORMATION (100 ns since 1601-01-01 UTC); 0 when absent.
    std::uint64_t creationTime = 0;
    std::uint64_t modificationTime = 0;
    std::uint64_t accessTime = 0;
    std::uint64_t mftChangeTime = 0;  // when the record itself last changed
    std::uint32_t attributes = 0;  // $FILE_NAME flags | $STANDARD_INFORMATION file attributes
    std::uint64_t size = 0;        // data size of the stream, 64-bit
    bool deleted = false;
    bool selected = false;
    // The node's own MFT record when it was found outside the current MFT (image 1): its data is
    // read through this record's run lists, not looked up by number. Shared by a file's streams.
    std::shared_ptr<const std::vector<std::byte>> ownRecord;
};

// Every node of one scan in the order found; a node's index here is how the tree refers to it.
using NodeList = std::vector<std::unique_ptr<NtfsFileNode>>;

// What an NTFS tree item carries: the folder's MFT record number (5 for the root, the invented
// number for "Dir%d" and "Lost Files%d"), and the NodeList indices of the files listed in it.
struct NtfsFolderData {
    std::uint32_t recordNumber = 0;
    std::vector<std::uint32_t> nodes;
};

using NtfsResultTree = ResultTree<NtfsFolderData>;

}  // namespace lumacore
