#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "recovery/recovered_file_writer.h"
#include "repair/mail_repair.h"

namespace lumacore {

// The log lines of a repair run.
constexpr const char* kRepairLogSelected = "Selected file: ";
constexpr const char* kRepairLogRepaired = "Repaired";
constexpr const char* kRepairLogFailed = "Repair failed";
constexpr const char* kRepairLogUnsupported = "Unsupported format";
constexpr const char* kRepairLogSeparator = "-------------------------------------------";

// Repairs each file into `outputFolder` (same file name), in order, and returns the log. An existing
// target is asked about as the policy says: Cancel ends the run at once with nothing more logged, No
// skips the file without a log entry, Yes to All stops asking. `logChanged` sees the whole log after
// every file. Lines end with CR LF, as the log has always been written.
std::string RunMailRepair(const std::vector<std::filesystem::path>& files, const std::filesystem::path& outputFolder,
                          MailRepairKind kind, OverwritePolicy policy, const AskOverwrite& ask,
                          const std::function<void(const std::string&)>& logChanged = {});

}  // namespace lumacore
