#include "session/ntfs_scan.h"

#include "core/iso_time.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "core/size_text.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "session/found_file_source.h"
#include "session/found_file_times.h"
#include "session/listing_json.h"
#include "session/ntfs_recover_run.h"
#include "session/tree_path.h"

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
               NtfsAttributeText(node.attributes, node.deleted) + "\t" + NtfsTimeText(node.modificationTime) +
               "\t" + NtfsTimeText(node.creationTime) + "\t" + NtfsTimeText(node.accessTime) + "\n";
    }
    for (NtfsResultTree::ItemId child : item.children) AppendFolderText(scan, child, depth + 1, out);
}

void WriteFolderJson(const NtfsScan& scan, NtfsResultTree::ItemId id, JsonWriter& json,
                     std::string_view key) {
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
                                                 NtfsScanMode mode, SectorRange range,
                                                 const StopToken* stop) {
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    auto scan = std::make_unique<NtfsScan>();
    scan->mode = mode;
    scan->source = devices.PhysicalDrivePath(partition.diskNumber);
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
        return Error::Make(
            ErrorKind::Corrupt,
            "the NTFS engine cannot read this volume: no NTFS boot sector or no readable $MFT");
    }
    return scan;
}

void CheckAllNtfs(NtfsScan& scan) {
    for (auto& node : scan.volume->nodes()) node->selected = true;
}

Result<void> CheckNtfsPath(NtfsScan& scan, const std::string& path) {
    auto notFound = [&] {
        return Error::Make(ErrorKind::NotFound, "no file or folder '" + path + "' was found");
    };
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
        for (std::uint32_t index : scan.tree.item(id).data.nodes)
            scan.volume->nodes()[index]->selected = true;
        return true;
    });
    return {};
}

Result<void> CheckNtfsRecord(NtfsScan& scan, std::uint64_t record) {
    bool found = false;
    if (scan.root != NtfsResultTree::kNoItem) {
        // Only what the tree lists: a record the filter left out is not offered by its number either.
        scan.tree.BreadthFirst(scan.root, [&](NtfsResultTree::ItemId id) {
            for (std::uint32_t index : scan.tree.item(id).data.nodes) {
                NtfsFileNode& node = *scan.volume->nodes()[index];
                if (node.recordNumber == record) node.selected = found = true;
            }
            return true;
        });
    }
    if (!found)
        return Error::Make(ErrorKind::NotFound,
                           "no file of MFT record " + std::to_string(record) + " was found");
    return {};
}

std::string NtfsTreeText(const NtfsScan& scan) {
    std::string out;
    if (scan.root != NtfsResultTree::kNoItem) AppendFolderText(scan, scan.root, 0, out);
    const Totals totals = CountFiles(scan);
    if (scan.mode == NtfsScanMode::Formatted) {
        out += "Found Formated Files : " + std::to_string(totals.files) + " (" +
               TotalsText(totals.files, totals.bytes) + ")\n";
        out += "MFT records counted : " + std::to_string(scan.volume->RecordsCounted()) + " (" +
               std::to_string(scan.volume->FoundRecordCount()) + " outside the current MFT)\n";
        return out;
    }
    out += "Found Deleted Files : " + std::to_string(totals.files) + " (" +
           TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

namespace {

// The file attribute flags as words, for scripts.
void WriteAttributeWords(std::uint32_t attributes, JsonWriter& json) {
    static constexpr struct {
        std::uint32_t bit;
        const char* word;
    } kWords[] = {{0x1, "readOnly"},       {0x2, "hidden"},       {0x4, "system"},
                  {0x10, "directory"},     {0x20, "archive"},     {0x40, "device"},
                  {0x80, "normal"},        {0x100, "temporary"},  {0x200, "sparse"},
                  {0x400, "reparsePoint"}, {0x800, "compressed"}, {0x1000, "offline"},
                  {0x2000, "notIndexed"},  {0x4000, "encrypted"}, {0x10000000, "indexView"}};
    json.BeginArray("attributeWords");
    for (const auto& [bit, word] : kWords) {
        if ((attributes & bit) != 0) json.String({}, word);
    }
    json.EndArray();
}

ListedFile NtfsListedFile(const NtfsFileNode& node, const std::string& folder) {
    ListedFile file{node.name,
                    JoinTreePath(folder, node.name),
                    node.size,
                    node.deleted,
                    IsoFiletimeText(node.modificationTime),
                    IsoFiletimeText(node.creationTime),
                    IsoFiletimeText(node.accessTime),
                    "mftRecord",
                    node.recordNumber,
                    {},
                    {},
                    0};
    file.times = NtfsFileTimes(node);
    file.changed = NtfsRecordChangeTime(node);
    return file;
}

// Calls visit(node, folderPath) for every file below `id`, folder by folder as the listing shows them.
template <typename Visit>
void ForEachListedNode(const NtfsScan& scan, NtfsResultTree::ItemId id, const std::string& folder,
                       const Visit& visit) {
    for (std::uint32_t index : scan.tree.item(id).data.nodes) visit(*scan.volume->nodes()[index], folder);
    for (NtfsResultTree::ItemId child : scan.tree.item(id).children) {
        ForEachListedNode(scan, child, JoinTreePath(folder, scan.tree.item(child).text), visit);
    }
}

void WriteListedFiles(const NtfsScan& scan, JsonWriter& json) {
    ForEachListedNode(scan, scan.root, {}, [&](const NtfsFileNode& node, const std::string& folder) {
        BeginListedFile(json, "ntfs", NtfsListedFile(node, folder));
        json.String("stream", node.streamName);
        WriteAttributeWords(node.attributes, json);
        json.String("folderPath", FolderPath(node));
        json.EndObject();
    });
}

}  // namespace

void WriteNtfsTreeJson(const NtfsScan& scan, JsonWriter& json) {
    BeginListing(json, "ntfs");
    if (scan.root != NtfsResultTree::kNoItem) WriteFolderJson(scan, scan.root, json, "root");
    BeginListedFiles(json);
    if (scan.root != NtfsResultTree::kNoItem) WriteListedFiles(scan, json);
    EndListedFiles(json);
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
}

std::string NtfsTreeJson(const NtfsScan& scan) {
    JsonWriter json;
    WriteNtfsTreeJson(scan, json);
    return json.text();
}

bool NothingCheckedNtfs(NtfsScan& scan) {
    scan.volume->ClearSelection();
    scan.volume->BuildSelection(scan.tree, scan.root);
    return scan.volume->selection().empty();
}

RecoverResult RecoverNtfsFiles(NtfsScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                               const StopToken& stop) {
    CNtfsVolume& volume = *scan.volume;
    // What is ticked now, not what was ticked for an earlier run.
    volume.ClearSelection();
    volume.BuildSelection(scan.tree, scan.root);
    const NtfsRecoverRunResult run = RunNtfsRecovery(
        volume.selection(), writer, progress, stop, [&](const NtfsFileNode& node, OutputFile& out) {
            // Sparse runs and uninitialised ranges stay holes in the copy.
            return volume.WriteFileData(
                node, [&](std::span<const std::byte> data) { return out.Write(data); },
                [&](std::uint64_t hole) { return out.Skip(hole); });
        },
        [&](const NtfsFileNode& node) {
            std::vector<SourceByteRun> runs;
            for (const CNtfsVolume::DiskExtent& extent : volume.DiskExtents(node))
                runs.push_back({extent.fileOffset, extent.diskOffset, extent.length});
            return runs;
        });
    RecoverResult result(run);
    (void)writer.Finish(scan.source);
    result.failureLines = FailureLines({}, writer);
    if (!run.reportLines.empty()) result.report = run.ReportText();
    return result;
}

namespace {

class NtfsFoundFiles final : public FoundFiles {
  public:
    explicit NtfsFoundFiles(std::unique_ptr<NtfsScan> scan) : scan_(std::move(scan)) {}

    std::string Text() const override { return NtfsTreeText(*scan_); }
    void WriteJson(JsonWriter& json) const override { WriteNtfsTreeJson(*scan_, json); }
    void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const override {
        if (scan_->root == NtfsResultTree::kNoItem) return;
        ForEachListedNode(*scan_, scan_->root, {}, [&](const NtfsFileNode& node, const std::string& folder) {
            visit(NtfsListedFile(node, folder));
        });
    }
    void CheckAll() override { CheckAllNtfs(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckNtfsPath(*scan_, path); }
    Result<void> CheckId(std::string_view idKey, std::uint64_t id) override {
        if (idKey != "mftRecord") return FoundFiles::CheckId(idKey, id);
        return CheckNtfsRecord(*scan_, id);
    }
    std::optional<std::string> NothingCheckedMessage() override {
        if (!NothingCheckedNtfs(*scan_)) return std::nullopt;
        return std::string(kNtfsNothingSelected);
    }
    Result<PreviewSource> FindForPreview(const std::string& path) override {
        auto node = FindNtfsFile(*scan_, path);
        if (!node) return node.error();
        return NtfsPreviewSource(*scan_->volume, **node);
    }
    PreviewFamily previewFamily() const override { return PreviewFamily::Ntfs; }
    Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) override {
        return RecoverNtfsFiles(*scan_, writer, progress, stop);
    }

  private:
    std::unique_ptr<NtfsScan> scan_;
};

}  // namespace

Result<std::unique_ptr<FoundFiles>> ScanNtfsFoundFiles(const VolumeScanRequest& request) {
    const NtfsScanMode mode =
        request.mode == SCAN_FORMATTED ? NtfsScanMode::Formatted : NtfsScanMode::Deleted;
    auto scan = ScanNtfsVolume(request.devices, request.volume, request.filter, request.progress, mode,
                               request.range, request.stop);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(std::make_unique<NtfsFoundFiles>(std::move(*scan)));
}

}  // namespace lumacore
