#pragma once

#include <string>
#include <vector>

#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// What a recover run of any engine did: the counts, a line per file that was not written, and the
// report text the engine's page shows after the run (empty when it shows none).
struct RecoverResult : RecoverRunResult {
    std::vector<std::string> failureLines;  // "name: reason"
    std::string report;

    RecoverResult() = default;
    explicit RecoverResult(const RecoverRunResult& counts) : RecoverRunResult(counts) {}
};

// The writer's failures as "name: reason" lines, after `before` (failures found before writing).
std::vector<std::string> FailureLines(const std::vector<RecoveryFailure>& before,
                                      const RecoveredFileWriter& writer);

}  // namespace lumacore
