#include "recovery/selection_recovery.h"

#include <filesystem>

namespace lumacore {

std::string ReportedRecoverRunResult::ReportText() const {
    std::string text;
    for (const std::string& line : reportLines) {
        if (text.size() + line.size() <= kRecoverReportLimit) text += line;
    }
    return text;
}

std::string CannotCreateFileLine(const std::string& name) { return "Can not create file '" + name + "'.\n"; }

ReportedRecoverRunResult RunSelectionRecovery(const SelectionRun& run, RecoveredFileWriter& writer,
                                              ProgressFields& progress, const StopToken& stop) {
    ReportedRecoverRunResult result;
    if (run.count == 0) return result;
    progress.Start("Recoverying Files : 0", static_cast<std::int64_t>(run.count));

    for (std::size_t i = 0; i < run.count; ++i) {
        if (stop.StopRequested() || writer.cancelled()) {
            result.cancelled = true;
            break;
        }
        const std::optional<SelectedFile> file = run.describe(i);
        if (!file || HasQuoteInFirstThree(file->name)) continue;
        progress.SetDone(static_cast<std::int64_t>(i));
        progress.SetText("Recoverying Files : " + file->name);

        std::filesystem::path folder = writer.destinationRoot();
        bool folderMade = true;
        for (const std::string& level : file->folders) {
            auto made = writer.EnsureFolder(folder, level);
            if (!made) {
                folderMade = false;
                break;
            }
            folder = *made;
        }
        if (!folderMade) {
            ++result.failures;
            result.reportLines.push_back(CannotCreateFileLine(file->name));
            continue;
        }

        bool copyStarted = false;
        const auto outcome = writer.WriteFile(folder, file->name, file->size, [&](OutputFile& out) {
            copyStarted = true;
            return run.copy(i, out);
        });
        switch (outcome) {
            case RecoveredFileWriter::Outcome::Written:
                ++result.filesWritten;
                result.bytesWritten += file->size;
                break;
            case RecoveredFileWriter::Outcome::KeptExisting:
                ++result.keptExisting;
                break;
            case RecoveredFileWriter::Outcome::Failed:
                ++result.failures;
                result.reportLines.push_back(copyStarted ? run.cannotCopyLine(file->name)
                                                         : CannotCreateFileLine(file->name));
                break;
            case RecoveredFileWriter::Outcome::Cancelled:
                result.cancelled = true;
                break;
        }
        if (result.cancelled) break;
    }
    progress.SetDone(static_cast<std::int64_t>(run.count));
    return result;
}

}  // namespace lumacore
