#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/result.h"
#include "recovery/output_file.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// One file of a selection as the run writes it: its name, its size, and the folders it goes into
// below the destination, root-most first.
struct SelectedFile {
    std::string name;
    std::uint64_t size = 0;
    std::vector<std::string> folders;
    FoundFileDetails details;
};

struct SelectionRun {
    std::size_t count = 0;
    // The selection's i-th file; nullopt for an entry to leave out.
    std::function<std::optional<SelectedFile>(std::size_t)> describe;
    // Appends the i-th file's data to the output file.
    std::function<Result<void>(std::size_t, OutputFile&)> copy;
    // The report line for a file whose data could not be copied whole.
    std::function<std::string(const std::string&)> cannotCopyLine;
};

// Writes a flat selection in order, each file into its folders below the writer's destination (made one
// level at a time). Names with a double quote among their first three characters are skipped. A file
// that cannot be created, or whose data cannot be copied whole, adds a report line and the run goes on;
// a stop request or a cancelled overwrite question ends it.
ReportedRecoverRunResult RunSelectionRecovery(const SelectionRun& run, RecoveredFileWriter& writer,
                                              ProgressFields& progress, const StopToken& stop);

}  // namespace lumacore
