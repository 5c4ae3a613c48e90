#include "recovery/recover_run_result.h"

namespace lumacore {

std::string ReportedRecoverRunResult::ReportText() const {
    std::string text;
    for (const std::string& line : reportLines) {
        if (text.size() + line.size() <= kRecoverReportLimit) text += line;
    }
    return text;
}

void RecoverRunResult::Count(RecoveredFileWriter::Outcome outcome, std::uint64_t size) {
    switch (outcome) {
        case RecoveredFileWriter::Outcome::Written:
            ++filesWritten;
            bytesWritten += size;
            break;
        case RecoveredFileWriter::Outcome::KeptExisting:
            ++keptExisting;
            break;
        case RecoveredFileWriter::Outcome::Failed:
            ++failures;
            break;
        case RecoveredFileWriter::Outcome::Cancelled:
            cancelled = true;
            break;
    }
}

std::string CannotCreateFileLine(const std::string& name) {
    return "Can not create file '" + name + "'.\n";
}

}  // namespace lumacore
