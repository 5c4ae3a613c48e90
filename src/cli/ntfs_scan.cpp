#include "cli/ntfs_scan.h"

#include <iostream>

#include "cli/arguments.h"
#include "cli/json_writer.h"
#include "cli/tree_path.h"
#include "cli/progress_line.h"
#include "core/size_text.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "recovery/ntfs_recover_run.h"

namespace lumacore {

namespace {

struct Totals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

Totals CountFiles(const NtfsScan& scan) {
    Totals totals;
    if (scan.root == NtfsResultTree::kNoItem) return totals;
    scan.tree.BreadthFirst(scan.root, [&](NtfsResultTree::ItemId id) {
        for (std::uint32_t index : scan.tree.item(id).data.nodes) {
            ++totals.files;
            totals.bytes += scan.volume->nodes()[index]->size;
        }
        return true;
    });
    return totals;
}

std::string FolderPath(const NtfsFileNode& node) {
    std::string path;
    for (auto it = node.pathNames.rbegin(); it != node.pathNames.rend(); ++it) path += "/" + *it;
    return path.empty() ? "/" : path;
}

void AppendFolderText(const NtfsScan& scan, NtfsResultTree::ItemId id, int depth, std::string& out) {
    const auto& item = scan.tree.item(id);
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += depth == 0 ? item.text + "\n" : indent + item.text + "/\n";
    for (std::uint32_t index : item.data.nodes) {
        const NtfsFileNode& node = *scan.volume->nodes()[index];
        out += indent + "  " + node.name + "\t" + NtfsSizeText(node.size) + "\t" +
               NtfsAttributeText(node.attributes, node.deleted) + "\t" + NtfsTimeText(node.modificationTime) + "\t" +
               NtfsTimeText(node.creationTime) + "\t" + NtfsTimeText(node.accessTime) + "\n";
    }
    for (NtfsResultTree::ItemId child : item.children) AppendFolderText(scan, child, depth + 1, out);
}

void WriteFolderJson(const NtfsScan& scan, NtfsResultTree::ItemId id, JsonWriter& json, std::string_view key) {
    const auto& item = scan.tree.item(id);
    json.BeginObject(key);
    json.String("name", item.text);
    json.Unsigned("recordNumber", item.data.recordNumber);
    json.BeginArray("folders");
    for (NtfsResultTree::ItemId child : item.children) WriteFolderJson(scan, child, json, {});
    json.EndArray();
    json.BeginArray("files");
    for (std::uint32_t index : item.data.nodes) {
        const NtfsFileNode& node = *scan.volume->nodes()[index];
        json.BeginObject();
        json.String("name", node.name);
        json.String("stream", node.streamName);
        json.Unsigned("size", node.size);
        json.String("sizeText", NtfsSizeText(node.size));
        json.String("attributes", NtfsAttributeText(node.attributes, node.deleted));
        json.Unsigned("attributeBits", node.attributes);
        json.String("created", NtfsTimeText(node.creationTime));
        json.String("modified", NtfsTimeText(node.modificationTime));
        json.String("accessed", NtfsTimeText(node.accessTime));
        json.Bool("deleted", node.deleted);
        json.Unsigned("recordNumber", node.recordNumber);
        json.String("folderPath", FolderPath(node));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

}  // namespace

Result<std::unique_ptr<NtfsScan>> ScanNtfsVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                                 const FilterSettings& filter, ProgressFields& progress,
                                                 NtfsScanMode mode, SectorRange range, const StopToken* stop) {
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    auto scan = std::make_unique<NtfsScan>();
    scan->mode = mode;
    scan->volume = std::make_unique<CNtfsVolume>(std::move(*disk), partition);
    const StopToken& stopToken = StopOrNever(stop);
    bool ok = false;
    if (mode == NtfsScanMode::Formatted) {
        if (range.start) scan->volume->rangeStart = *range.start;
        if (range.end) scan->volume->rangeEnd = *range.end;
        ok = scan->volume->FormattedDriveScan(scan->tree, filter, progress, stopToken);
    } else {
        ok = scan->volume->DeletedFileScan(scan->tree, filter, progress, stopToken);
    }
    scan->root = scan->volume->rootItem();
    if (!ok) {
        return Error::Make(ErrorKind::Corrupt,
                           "the NTFS engine cannot read this volume: no NTFS boot sector or no readable $MFT");
    }
    return scan;
}

void SelectAllNtfs(NtfsScan& scan) {
    for (auto& node : scan.volume->nodes()) node->selected = true;
}

Result<void> SelectNtfsPath(NtfsScan& scan, const std::string& path) {
    auto notFound = [&] { return Error::Make(ErrorKind::NotFound, "no file or folder '" + path + "' was found"); };
    if (scan.root == NtfsResultTree::kNoItem) return notFound();
    const std::vector<std::string> parts = SplitTreePath(path);
    NtfsResultTree::ItemId at = scan.root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto& item = scan.tree.item(at);
        if (i + 1 == parts.size()) {
            bool found = false;
            for (std::uint32_t index : item.data.nodes) {
                NtfsFileNode& node = *scan.volume->nodes()[index];
                if (node.name == parts[i]) node.selected = found = true;
            }
            if (found) return {};
        }
        NtfsResultTree::ItemId next = NtfsResultTree::kNoItem;
        for (NtfsResultTree::ItemId child : item.children) {
            if (scan.tree.item(child).text == parts[i]) next = child;
        }
        if (next == NtfsResultTree::kNoItem) return notFound();
        at = next;
    }
    scan.tree.BreadthFirst(at, [&](NtfsResultTree::ItemId id) {
        for (std::uint32_t index : scan.tree.item(id).data.nodes) scan.volume->nodes()[index]->selected = true;
        return true;
    });
    return {};
}

std::string NtfsTreeText(const NtfsScan& scan) {
    std::string out;
    if (scan.root != NtfsResultTree::kNoItem) AppendFolderText(scan, scan.root, 0, out);
    const Totals totals = CountFiles(scan);
    if (scan.mode == NtfsScanMode::Formatted) {
        out += "Found Formated Files : " + std::to_string(totals.files) + " (" + TotalsText(totals.files, totals.bytes) +
               ")\n";
        out += "MFT records counted : " + std::to_string(scan.volume->RecordsCounted()) + " (" +
               std::to_string(scan.volume->FoundRecordCount()) + " outside the current MFT)\n";
        return out;
    }
    out += "Found Deleted Files : " + std::to_string(totals.files) + " (" + TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

std::string NtfsTreeJson(const NtfsScan& scan) {
    JsonWriter json;
    json.BeginObject();
    if (scan.root != NtfsResultTree::kNoItem) WriteFolderJson(scan, scan.root, json, "root");
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", true);
    if (scan.mode == NtfsScanMode::Formatted) {
        json.String("mode", "formatted");
        json.Unsigned("recordsCounted", scan.volume->RecordsCounted());
        json.Unsigned("recordsOutsideMft", scan.volume->FoundRecordCount());
        json.Unsigned("outsideClusterSize", scan.volume->FoundClusterSize());
    }
    json.EndObject();
    return json.text();
}

int RunNtfsScanCommand(const DeviceMap& devices, const PartitionInfo& volume, const FilterSettings& filter, bool json,
                       NtfsScanMode mode, SectorRange range) {
    ProgressFields progress;
    Result<std::unique_ptr<NtfsScan>> scan = Error{};
    {
        ProgressLine line(progress);
        scan = ScanNtfsVolume(devices, volume, filter, progress, mode, range);
    }
    if (!scan) {
        std::cerr << "lumacore-cli scan: " << scan.error().message << '\n';
        return kExitFailure;
    }
    std::cout << (json ? NtfsTreeJson(**scan) : NtfsTreeText(**scan));
    return kExitOk;
}

int RunNtfsRecoverCommand(const DeviceMap& devices, const PartitionInfo& volume, const FilterSettings& filter,
                          const std::vector<std::string>& only, RecoveredFileWriter& writer, NtfsScanMode mode,
                          SectorRange range) {
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli recover: " << message << '\n';
        return code;
    };
    ProgressFields progress;
    Result<std::unique_ptr<NtfsScan>> scan = Error{};
    {
        ProgressLine line(progress);
        scan = ScanNtfsVolume(devices, volume, filter, progress, mode, range);
    }
    if (!scan) return fail(scan.error().message, kExitFailure);
    NtfsScan& found = **scan;
    if (only.empty()) {
        SelectAllNtfs(found);
    } else {
        for (const std::string& path : only) {
            if (auto selected = SelectNtfsPath(found, path); !selected) return fail(selected.error().message, kExitUsage);
        }
    }
    found.volume->BuildSelection(found.tree, found.root);
    if (found.volume->selection().empty()) return fail(kNtfsNothingSelected, kExitOk);

    StopToken stop;
    NtfsRecoverRunResult result;
    {
        ProgressLine line(progress);
        result = RunNtfsRecovery(found.volume->selection(), writer, progress, stop,
                                 [&](const NtfsFileNode& node, OutputFile& out) {
                                     return found.volume->WriteFileData(
                                         node, [&](std::span<const std::byte> data) { return out.Write(data); },
                                         [&](std::uint64_t hole) { return out.Skip(hole); });
                                 });
    }
    for (const RecoveryFailure& failure : writer.failures()) {
        std::cerr << "lumacore-cli recover: " << failure.name << ": " << failure.message << '\n';
    }
    if (!result.reportLines.empty()) std::cerr << result.ReportText();
    std::cout << "Recovered " << result.filesWritten << " files (" << result.bytesWritten << " bytes) to "
              << writer.destinationRoot() << "; " << result.failures << " failed; " << result.keptExisting
              << " existing kept" << (result.cancelled ? "; cancelled" : "") << '\n';
    return kExitOk;
}

}  // namespace lumacore
