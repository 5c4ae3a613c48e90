#include "recovery/raw_recover_run.h"

#include <filesystem>

namespace lumacore {

std::string RawCannotCreateLine(const std::string& name) {
    return "Can not create file '" + name + "'.\n";
}

std::string RawCannotWriteLine(const std::string& name) {
    return "Can not write file '" + name + "'.\n";
}

std::string RawRecoverRunResult::ReportText() const {
    std::string text;
    for (const std::string& line : reportLines) {
        if (text.size() + line.size() <= kRawReportLimit) text += line;
    }
    return text;
}

RawRecoverRunResult RunRawRecovery(const std::vector<RawFileNode*>& selection, RecoveredFileWriter& writer,
                                   ProgressFields& progress, const StopToken& stop,
                                   const RawCopyData& copyData) {
    RawRecoverRunResult result;
    if (selection.empty()) return result;
    progress.Start("Recoverying Files : 0", static_cast<std::int64_t>(selection.size()));

    for (std::size_t i = 0; i < selection.size(); ++i) {
        if (stop.StopRequested() || writer.cancelled()) {
            result.cancelled = true;
            break;
        }
        const RawFileNode* node = selection[i];
        if (node == nullptr || HasQuoteInFirstThree(node->name)) continue;
        progress.SetDone(static_cast<std::int64_t>(i));
        progress.SetText("Recoverying Files : " + node->name);

        // One folder per extension; a name without a dot goes straight into the destination.
        std::filesystem::path folder = writer.destinationRoot();
        const std::size_t dot = node->name.find('.');
        const std::string kind = dot == std::string::npos ? std::string() : node->name.substr(dot + 1);
        if (!kind.empty()) {
            auto made = writer.EnsureFolder(folder, kind);
            if (!made) {
                ++result.failures;
                result.reportLines.push_back(RawCannotCreateLine(node->name));
                continue;
            }
            folder = *made;
        }

        bool copyStarted = false;
        const auto outcome = writer.WriteFile(folder, node->name, node->length, [&](OutputFile& out) {
            copyStarted = true;
            return copyData(*node, out);
        });
        switch (outcome) {
            case RecoveredFileWriter::Outcome::Written:
                ++result.filesWritten;
                result.bytesWritten += node->length;
                break;
            case RecoveredFileWriter::Outcome::KeptExisting:
                ++result.keptExisting;
                break;
            case RecoveredFileWriter::Outcome::Failed:
                ++result.failures;
                result.reportLines.push_back(copyStarted ? RawCannotWriteLine(node->name)
                                                         : RawCannotCreateLine(node->name));
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
