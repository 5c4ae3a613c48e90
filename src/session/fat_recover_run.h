#pragma once

#include "engines/fat/fat_file_node.h"
#include "session/tree_recover_run.h"

namespace lumacore {

using FatCopyData = TreeCopyData<FatFileNode>;

// The tree recovery run over a FAT result tree.
inline RecoverRunResult RunFatRecovery(const FatResultTree& tree, FatResultTree::ItemId root,
                                       RecoveredFileWriter& writer, ProgressFields& progress,
                                       const StopToken& stop, const FatCopyData& copyData,
                                       const TreeFileDetails<FatFileNode>& detailsOf = {},
                                       const TreeFolderTimes<FatResultTree>& folderTimesOf = {}) {
    return RunTreeRecovery<FatFileNode>(tree, root, writer, progress, stop, copyData, detailsOf,
                                        folderTimesOf);
}

}  // namespace lumacore
