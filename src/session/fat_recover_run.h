#pragma once

#include <cstdint>
#include <functional>

#include "core/progress.h"
#include "core/result.h"
#include "engines/fat/fat_file_node.h"
#include "recovery/output_file.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// Copies one file's data into the output file (reads the clusters from the source).
using FatCopyData = std::function<Result<void>(const FatFileNode&, OutputFile&)>;

// Recovers the checked files of a FAT result tree below `root`, breadth first: every checked folder
// item becomes a folder below the writer's destination root (the root item's own text does not), and
// the checked files of each checked folder are written into it. An unchecked folder is skipped with
// everything below it, checked or not. Progress counts files: the total is set before the first one.
RecoverRunResult RunFatRecovery(const FatResultTree& tree, FatResultTree::ItemId root,
                                RecoveredFileWriter& writer, ProgressFields& progress, const StopToken& stop,
                                const FatCopyData& copyData);

}  // namespace lumacore
