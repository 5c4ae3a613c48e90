#include "session/raw_recover_run.h"

#include <cstdint>
#include <optional>

#include "core/sha256.h"
#include "session/raw_carving_report.h"
#include "recovery/selection_recovery.h"

namespace lumacore {

std::string RawCannotCreateLine(const std::string& name) { return CannotCreateFileLine(name); }

std::string RawCannotWriteLine(const std::string& name) { return "Can not write file '" + name + "'.\n"; }

RawRecoverRunResult RunRawRecovery(const std::vector<RawFileNode*>& selection, RecoveredFileWriter& writer,
                                   ProgressFields& progress, const StopToken& stop,
                                   const RawCopyData& copyData, std::uint64_t sourceOffset) {
    SelectionRun run;
    run.count = selection.size();
    run.describe = [&](std::size_t i) -> std::optional<SelectedFile> {
        const RawFileNode* node = selection[i];
        if (node == nullptr) return std::nullopt;
        // One folder per extension (the text after the first "."); a name without one goes straight
        // into the destination.
        SelectedFile file{node->name, node->length, {}, {}};
        std::uint64_t fileOffset = 0;
        for (const RawExtent& extent : RawFileExtents(*node)) {
            file.details.byteRuns.push_back({fileOffset, sourceOffset + extent.firstSector * 512, extent.length});
            fileOffset += extent.length;
        }
        const std::size_t dot = node->name.find('.');
        if (dot != std::string::npos && dot + 1 < node->name.size()) file.folders.push_back(node->name.substr(dot + 1));
        return file;
    };
    std::vector<CarvingReportLine> report;
    run.copy = [&](std::size_t i, OutputFile& out) {
        const RawFileNode& node = *selection[i];
        // The writer hashes the file as it writes it; when what is handed over fits in the file's
        // length (always, for a carving's own extents) that digest is the carving report's too, and
        // the bytes are hashed once.
        std::uint64_t extentBytes = 0;
        for (const RawExtent& extent : RawFileExtents(node))
            extentBytes = extent.length > UINT64_MAX - extentBytes ? UINT64_MAX : extentBytes + extent.length;
        const bool writerHashes = writer.options().hash && extentBytes <= node.length;
        Sha256 digest;
        auto copied = copyData(node, [&](std::span<const std::byte> data) {
            if (!writerHashes) digest.Update(data);
            return out.Write(data);
        });
        if (copied) {
            if (writerHashes) {
                if (std::optional<Sha256> written = out.DigestSoFar()) digest = *written;
            }
            report.push_back({node.name, node.description, node.firstSector, node.length, node.ended,
                              digest.HexDigest(), node.fragments});
        }
        return copied;
    };
    run.cannotCopyLine = RawCannotWriteLine;
    RawRecoverRunResult result = RunSelectionRecovery(run, writer, progress, stop);
    if (!report.empty()) {
        const std::string text = CarvingReportText(report);
        writer.WriteFile(writer.destinationRoot(), kCarvingReportName, text.size(), [&](OutputFile& out) {
            return out.Write(std::as_bytes(std::span<const char>(text.data(), text.size())));
        });
    }
    return result;
}

}  // namespace lumacore
