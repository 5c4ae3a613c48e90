#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/result.h"
#include "engines/ntfs/ntfs_file_node.h"
#include "recovery/output_file.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// What the NTFS page says when Recovery is pressed with nothing selected (caption "Notice").
inline constexpr const char* kNtfsNothingSelected = "Please select file to recover!";
inline constexpr const char* kNtfsReportCaption = "Notice";
inline constexpr std::size_t kNtfsReportLimit = kRecoverReportLimit;

std::string NtfsCannotCreateLine(const std::string& name);   // "Can not create file '<name>'.\n"
std::string NtfsCannotRecoverLine(const std::string& name);  // "Can not recovery file '<name>'.\n"

using NtfsRecoverRunResult = ReportedRecoverRunResult;

// Copies one node's data into the output file.
using NtfsCopyData = std::function<Result<void>(const NtfsFileNode&, OutputFile&)>;

// Writes the selection in order: each node into its stored folder chain below the writer's
// destination (the folders made one level at a time, root-most first), as a file named after the
// node. Names with a double quote among their first three characters are skipped. A file that
// cannot be created, or whose data cannot be read whole, adds a report line and the run goes on.
// Where one node's data lies on the source, for the report (nothing known: empty).
using NtfsByteRuns = std::function<std::vector<SourceByteRun>(const NtfsFileNode&)>;

NtfsRecoverRunResult RunNtfsRecovery(const std::vector<NtfsFileNode*>& selection, RecoveredFileWriter& writer,
                                     ProgressFields& progress, const StopToken& stop,
                                     const NtfsCopyData& copyData, const NtfsByteRuns& byteRuns = {});

}  // namespace lumacore
