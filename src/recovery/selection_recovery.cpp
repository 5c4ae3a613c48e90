#include "recovery/selection_recovery.h"

#include <filesystem>

namespace lumacore {

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
        const auto outcome = writer.WriteFile(
            folder, file->name, file->size,
            [&](OutputFile& out) {
                copyStarted = true;
                return run.copy(i, out);
            },
            file->details);
        result.Count(outcome, file->size);
        if (outcome == RecoveredFileWriter::Outcome::Failed) {
            result.reportLines.push_back(copyStarted ? run.cannotCopyLine(file->name)
                                                     : CannotCreateFileLine(file->name));
        }
        if (result.cancelled) break;
    }
    progress.SetDone(static_cast<std::int64_t>(run.count));
    return result;
}

}  // namespace lumacore
