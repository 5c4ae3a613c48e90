#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/recovered_file_writer.h"

namespace lumacore {

struct RecoverRunResult {
    std::uint64_t filesWritten = 0;
    std::uint64_t bytesWritten = 0;
    std::uint64_t failures = 0;  // files not written because of an error, those in folders that failed too
    std::uint64_t keptExisting = 0;
    bool cancelled = false;  // stopped, or the user cancelled at an overwrite question

    // Counts what the writer did with one file of `size` bytes.
    void Count(RecoveredFileWriter::Outcome outcome, std::uint64_t size);
};

// The report shown after a run holds at most this many characters: a line that does not fit is left
// out of the text (the run's list of lines keeps every one).
inline constexpr std::size_t kRecoverReportLimit = 259;

// A run's counts with one report line per failed file, in order, for the pages that show them.
struct ReportedRecoverRunResult : RecoverRunResult {
    std::vector<std::string> reportLines;

    // The lines joined, each one only while the whole still fits kRecoverReportLimit characters.
    std::string ReportText() const;
};

// "Can not create file '<name>'.\n": the folder or the file itself could not be made.
std::string CannotCreateFileLine(const std::string& name);

}  // namespace lumacore
