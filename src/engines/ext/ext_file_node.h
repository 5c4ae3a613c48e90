#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/result_tree.h"
#include "engines/ext/ext_structures.h"

namespace lumacore {

// The name a record has until a directory entry names it.
inline constexpr const char* kExtUnknownName = "Unknown";

// One deleted file found by an EXT scan: the inode as it was before deletion (for EXT3 the journal's
// older copy), its number, and the name found for it. Owned by the engine; views point at it.
struct ExtFileNode {
    ExtInode inode;
    std::uint32_t inodeNumber = 0;
    bool checked = false;
    std::string name = kExtUnknownName;  // UTF-8; finally "inode_%p.tmp" for files no entry named
    std::string typeText;                // lower-case extension, or empty
    // EXT3: the sequence of the journal transaction the inode copy came from; the file's indirect and
    // extent blocks are read as that transaction left them.
    std::optional<std::uint32_t> journalSequence;
};

// Item data of the EXT result tree: the root holds the engine kind, "Lost files" the found files.
struct ExtItemData {
    int engineKind = 0;
    std::vector<ExtFileNode*> files;
};

using ExtResultTree = ResultTree<ExtItemData>;

// Engine kinds as the result page keeps them.
inline constexpr int kExtEngineExt2 = 4;
inline constexpr int kExtEngineExt3 = 5;

}  // namespace lumacore
