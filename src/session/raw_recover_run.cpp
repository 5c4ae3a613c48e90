#include "session/raw_recover_run.h"

#include "recovery/selection_recovery.h"

namespace lumacore {

std::string RawCannotCreateLine(const std::string& name) { return CannotCreateFileLine(name); }

std::string RawCannotWriteLine(const std::string& name) { return "Can not write file '" + name + "'.\n"; }

RawRecoverRunResult RunRawRecovery(const std::vector<RawFileNode*>& selection, RecoveredFileWriter& writer,
                                   ProgressFields& progress, const StopToken& stop,
                                   const RawCopyData& copyData) {
    SelectionRun run;
    run.count = selection.size();
    run.describe = [&](std::size_t i) -> std::optional<SelectedFile> {
        const RawFileNode* node = selection[i];
        if (node == nullptr) return std::nullopt;
        // One folder per extension (the text after the first "."); a name without one goes straight
        // into the destination.
        SelectedFile file{node->name, node->length, {}};
        const std::size_t dot = node->name.find('.');
        if (dot != std::string::npos && dot + 1 < node->name.size()) file.folders.push_back(node->name.substr(dot + 1));
        return file;
    };
    run.copy = [&](std::size_t i, OutputFile& out) { return copyData(*selection[i], out); };
    run.cannotCopyLine = RawCannotWriteLine;
    return RunSelectionRecovery(run, writer, progress, stop);
}

}  // namespace lumacore
