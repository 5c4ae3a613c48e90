#pragma once

#include <vector>

#include "core/progress.h"
#include "engines/ext/ext_file_node.h"
#include "engines/ext/ext_volume.h"
#include "recovery/recovered_file_writer.h"
#include "session/fat_recover_run.h"

namespace lumacore {

struct ExtRecoverRunResult {
    RecoverRunResult counts;
    // Files whose inode copy could not be trusted (pointers past the volume, a broken extent tree) or
    // whose indirect blocks could not be read: nothing was created for them.
    std::vector<RecoveryFailure> unmapped;
};

// Recovers the checked files among `files` (the "Lost files" list, in list order) straight into the
// writer's destination root: EXT results have no folders. Each file is mapped before its destination is
// created, so a misread inode never leaves a file behind. Progress counts files and shows the path
// being written; a write that fails counts as a failure.
ExtRecoverRunResult RunExtRecovery(const std::vector<ExtFileNode*>& files, CExtVolume& engine,
                                   RecoveredFileWriter& writer, ProgressFields& progress,
                                   const StopToken& stop);

}  // namespace lumacore
