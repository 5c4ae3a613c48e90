#include "recovery/ntfs_recover_run.h"

#include <filesystem>

namespace lumacore {

std::string NtfsCannotCreateLine(const std::string& name) { return "Can not create file '" + name + "'.\n"; }

std::string NtfsCannotRecoverLine(const std::string& name) { return "Can not recovery file '" + name + "'.\n"; }

std::string NtfsRecoverRunResult::ReportText() const {
    std::string text;
    for (const std::string& line : reportLines) {
        if (text.size() + line.size() <= kNtfsReportLimit) text += line;
    }
    return text;
}

NtfsRecoverRunResult RunNtfsRecovery(const std::vector<NtfsFileNode*>& selection, RecoveredFileWriter& writer,
                                     ProgressFields& progress, const StopToken& stop, const NtfsCopyData& copyData) {
    NtfsRecoverRunResult result;
    if (selection.empty()) return result;
    progress.Start("Recoverying Files : 0", static_cast<std::int64_t>(selection.size()));

    for (std::size_t i = 0; i < selection.size(); ++i) {
        if (stop.StopRequested() || writer.cancelled()) {
            result.cancelled = true;
            break;
        }
        const NtfsFileNode* node = selection[i];
        if (node == nullptr || HasQuoteInFirstThree(node->name)) continue;
        progress.SetDone(static_cast<std::int64_t>(i));
        progress.SetText("Recoverying Files : " + node->name);

        std::filesystem::path folder = writer.destinationRoot();
        bool folderMade = true;
        for (std::size_t level = node->pathNames.size(); level-- > 0;) {
            auto made = writer.EnsureFolder(folder, node->pathNames[level]);
            if (!made) {
                folderMade = false;
                break;
            }
            folder = *made;
        }
        if (!folderMade) {
            ++result.failures;
            result.reportLines.push_back(NtfsCannotCreateLine(node->name));
            continue;
        }

        bool copyStarted = false;
        const auto outcome = writer.WriteFile(folder, node->name, node->size, [&](OutputFile& out) {
            copyStarted = true;
            return copyData(*node, out);
        });
        switch (outcome) {
            case RecoveredFileWriter::Outcome::Written:
                ++result.filesWritten;
                result.bytesWritten += node->size;
                break;
            case RecoveredFileWriter::Outcome::KeptExisting:
                ++result.keptExisting;
                break;
            case RecoveredFileWriter::Outcome::Failed:
                ++result.failures;
                result.reportLines.push_back(copyStarted ? NtfsCannotRecoverLine(node->name)
                                                         : NtfsCannotCreateLine(node->name));
                break;
            case RecoveredFileWriter::Outcome::Cancelled:
                result.cancelled = true;
                break;
        }
        if (result.cancelled) break;
    }
    progress.SetDone(static_cast<std::int64_t>(selection.size()));
    return result;
}

}  // namespace lumacore
