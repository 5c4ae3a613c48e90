#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/result.h"
#include "engines/raw/raw_file_node.h"
#include "recovery/output_file.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// What the RAW page says when Recovery is pressed with nothing selected (caption "Notice"), and the
// caption of the report shown after a run with failures.
inline constexpr const char* kRawNothingSelected = "Please select file to recover!";
inline constexpr const char* kRawNothingSelectedCaption = "Notice";
inline constexpr const char* kRawReportCaption = "Error";
inline constexpr std::size_t kRawReportLimit = kRecoverReportLimit;

std::string RawCannotCreateLine(const std::string& name);  // "Can not create file '<name>'.\n"
std::string RawCannotWriteLine(const std::string& name);   // "Can not write file '<name>'.\n"

using RawRecoverRunResult = ReportedRecoverRunResult;

// Copies one carved file's bytes, in order, to `write`.
using RawByteSink = std::function<Result<void>(std::span<const std::byte>)>;
using RawCopyData = std::function<Result<void>(const RawFileNode&, const RawByteSink& write)>;

// Writes the selection in order, each file into the folder named by its extension (the text after the
// first "." of its name) below the writer's destination. Names with a double quote among their first
// three characters are skipped. A file that cannot be created, or whose sectors cannot all be copied,
// adds a report line and the run goes on; a partly copied file stays. The carving report (name, type,
// first sector, length, how the file ended, sha256) of the files written goes into the destination.
// `sourceOffset` is where the carved range's sector 0 lies on the disk or image, for the report's byte
// runs (one per piece of the file).
RawRecoverRunResult RunRawRecovery(const std::vector<RawFileNode*>& selection, RecoveredFileWriter& writer,
                                   ProgressFields& progress, const StopToken& stop,
                                   const RawCopyData& copyData, std::uint64_t sourceOffset);

}  // namespace lumacore
