#include "session/ntfs_recover_run.h"

#include "recovery/selection_recovery.h"
#include "session/found_file_times.h"

namespace lumacore {

std::string NtfsCannotCreateLine(const std::string& name) {
    return CannotCreateFileLine(name);
}

std::string NtfsCannotRecoverLine(const std::string& name) {
    return "Can not recovery file '" + name + "'.\n";
}

NtfsRecoverRunResult RunNtfsRecovery(const std::vector<NtfsFileNode*>& selection, RecoveredFileWriter& writer,
                                     ProgressFields& progress, const StopToken& stop,
                                     const NtfsCopyData& copyData, const NtfsByteRuns& byteRuns) {
    SelectionRun run;
    run.count = selection.size();
    run.describe = [&](std::size_t i) -> std::optional<SelectedFile> {
        const NtfsFileNode* node = selection[i];
        if (node == nullptr) return std::nullopt;
        // The node keeps its folder chain nearest folder first.
        return SelectedFile{node->name,
                            node->size,
                            {node->pathNames.rbegin(), node->pathNames.rend()},
                            {NtfsFileTimes(*node), byteRuns ? byteRuns(*node) : std::vector<SourceByteRun>{}}};
    };
    run.copy = [&](std::size_t i, OutputFile& out) { return copyData(*selection[i], out); };
    run.cannotCopyLine = NtfsCannotRecoverLine;
    return RunSelectionRecovery(run, writer, progress, stop);
}

}  // namespace lumacore
