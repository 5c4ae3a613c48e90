#include "session/fat_scan.h"

#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "core/size_text.h"
#include "engines/fat/fat_extractor.h"
#include "engines/fat/fat_row_text.h"
#include "engines/fat/fat_volume.h"
#include "session/fat_recover_run.h"
#include "session/found_file_source.h"
#include "session/tree_path.h"

namespace lumacore {

namespace {

struct Totals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

Totals CountFiles(const FatScan& scan) {
    Totals totals;
    if (scan.root == FatResultTree::kNoItem) return totals;
    scan.tree.BreadthFirst(scan.root, [&](FatResultTree::ItemId id) {
        for (const auto& node : scan.tree.item(id).data) {
            ++totals.files;
            totals.bytes += node->size;
        }
        return true;
    });
    return totals;
}

bool IsDeletedFolder(const FatResultTree::Item& item) {
    return item.image == 3;
}

void AppendFolderText(const FatResultTree& tree, FatResultTree::ItemId id, int depth, std::string& out) {
    const auto& item = tree.item(id);
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (depth == 0) {
        out += item.text + "\n";
    } else {
        out += indent + item.text + "/" + (IsDeletedFolder(item) ? " (deleted)" : "") + "\n";
    }
    for (const auto& node : item.data) {
        out += indent + "  " + node->displayName + "\t" + FatSizeText(node->size) + "\t" +
               node->attributeText + "\t" + FatDateTimeText(node->lastWriteDate, node->lastWriteTime) + "\t" +
               FatDateTimeText(node->creationDate, node->creationTime) + "\t" +
               FatAccessDateText(node->lastAccessDate);
        if (const std::string note = FatDataNote(*node); !note.empty()) out += "\t" + note;
        out += "\n";
    }
    for (FatResultTree::ItemId child : item.children) AppendFolderText(tree, child, depth + 1, out);
}

void WriteFolderJson(const FatResultTree& tree, FatResultTree::ItemId id, JsonWriter& json,
                     std::string_view key) {
    const auto& item = tree.item(id);
    json.BeginObject(key);
    json.String("name", item.text);
    json.Bool("deleted", IsDeletedFolder(item));
    json.BeginArray("folders");
    for (FatResultTree::ItemId child : item.children) WriteFolderJson(tree, child, json, {});
    json.EndArray();
    json.BeginArray("files");
    for (const auto& node : item.data) {
        json.BeginObject();
        json.String("name", node->displayName);
        json.String("extension", node->extension);
        json.Unsigned("size", node->size);
        json.String("sizeText", FatSizeText(node->size));
        json.String("attributes", node->attributeText);
        json.String("created", FatDateTimeText(node->creationDate, node->creationTime));
        json.String("modified", FatDateTimeText(node->lastWriteDate, node->lastWriteTime));
        json.String("accessed", FatAccessDateText(node->lastAccessDate));
        json.Unsigned("firstCluster", node->firstCluster);
        json.Bool("dataMayBeIncomplete", !FatDataNote(*node).empty());
        json.String("dataNote", FatDataNote(*node));
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

}  // namespace

bool IsFatRecord(const PartitionInfo& partition) {
    const std::string name = partition.FsName();
    return name == "FAT" || name == "FAT16" || name == "FAT32" || name == "#FAT16#" || name == "#FAT32#";
}

Result<std::unique_ptr<FatScan>> ScanFatVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                               const FilterSettings& filter, ProgressFields& progress,
                                               FatScanMode mode, SectorRange range, const StopToken* stop) {
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    auto volume = MakeFatVolume(std::move(*disk), partition);
    if (!volume->IsOpen()) {
        Error e = volume->openError();
        e.message = "the FAT engine cannot read this volume: " + e.message;
        return e;
    }
    auto scan = std::make_unique<FatScan>();
    scan->mode = mode;
    const StopToken& running = StopOrNever(stop);
    if (mode == FatScanMode::Formatted) {
        if (range.start) volume->rangeStart = *range.start;
        if (range.end) volume->rangeEnd = *range.end;
        progress.SetText("Scanning Formated Drive ...");
        scan->completed = volume->FormattedDriveScan(scan->tree, filter, progress, running);
    } else {
        progress.SetText("Scanning Deleted Files ...");
        scan->completed = volume->DeletedFileScan(scan->tree, filter, progress, running);
    }
    scan->root = volume->rootItem();
    return scan;
}

void CheckAllFat(FatScan& scan) {
    if (scan.root == FatResultTree::kNoItem) return;
    scan.tree.BreadthFirst(scan.root, [&](FatResultTree::ItemId id) {
        auto& item = scan.tree.item(id);
        item.checked = true;
        for (auto& node : item.data) node->checked = true;
        return true;
    });
}

Result<void> CheckFatPath(FatScan& scan, const std::string& path) {
    auto notFound = [&] {
        return Error::Make(ErrorKind::NotFound, "no file or folder '" + path + "' was found");
    };
    if (scan.root == FatResultTree::kNoItem) return notFound();
    const std::vector<std::string> parts = SplitTreePath(path);
    FatResultTree::ItemId at = scan.root;
    std::vector<FatResultTree::ItemId> chain{at};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto& item = scan.tree.item(at);
        FatResultTree::ItemId next = FatResultTree::kNoItem;
        for (FatResultTree::ItemId child : item.children) {
            if (scan.tree.item(child).text == parts[i]) next = child;
        }
        if (next == FatResultTree::kNoItem && i + 1 == parts.size()) {
            for (const auto& node : item.data) {
                if (node->displayName != parts[i]) continue;
                node->checked = true;
                for (FatResultTree::ItemId up : chain) scan.tree.item(up).checked = true;
                return {};
            }
        }
        if (next == FatResultTree::kNoItem) return notFound();
        at = next;
        chain.push_back(at);
    }
    for (FatResultTree::ItemId up : chain) scan.tree.item(up).checked = true;
    scan.tree.BreadthFirst(at, [&](FatResultTree::ItemId id) {
        auto& item = scan.tree.item(id);
        item.checked = true;
        for (auto& node : item.data) node->checked = true;
        return true;
    });
    return {};
}

std::string FatTreeText(const FatScan& scan) {
    std::string out;
    if (scan.root != FatResultTree::kNoItem) AppendFolderText(scan.tree, scan.root, 0, out);
    const Totals totals = CountFiles(scan);
    out += (scan.mode == FatScanMode::Formatted ? "Found Formated Files : " : "Found Deleted Files : ") +
           std::to_string(totals.files) + " (" + TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

std::string FatTreeJson(const FatScan& scan) {
    JsonWriter json;
    json.BeginObject();
    if (scan.root != FatResultTree::kNoItem) WriteFolderJson(scan.tree, scan.root, json, "root");
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", scan.completed);
    json.EndObject();
    return json.text();
}

Result<RecoverResult> RecoverFatFiles(const FatScan& scan, const DeviceMap& devices,
                                      const PartitionInfo& volume, RecoveredFileWriter& writer,
                                      ProgressFields& progress, const StopToken& stop) {
    auto disk = devices.OpenPhysicalDrive(volume.diskNumber, AccessMode::ReadOnly);
    if (!disk) return Error::Io(kCannotOpenDevice);
    auto extractor = FatExtractor::Open(std::move(*disk), volume);
    if (!extractor) return extractor.error();
    RecoverResult result(RunFatRecovery(
        scan.tree, scan.root, writer, progress, stop, [&](const FatFileNode& node, OutputFile& out) {
            return extractor->Copy(node, [&](std::span<const std::byte> data) { return out.Write(data); });
        }));
    // The FAT page reports nothing per file: what could not be written is missing or short.
    result.failureLines = FailureLines({}, writer);
    return result;
}

namespace {

class FatFoundFiles final : public FoundFiles {
  public:
    FatFoundFiles(std::unique_ptr<FatScan> scan, const DeviceMap& devices, const PartitionInfo& volume)
        : scan_(std::move(scan)), devices_(devices), volume_(volume) {}

    std::string Text() const override { return FatTreeText(*scan_); }
    std::string Json() const override { return FatTreeJson(*scan_); }
    std::optional<std::string> IncompleteNote() const override {
        if (scan_->completed) return std::nullopt;
        return "a folder could not be read; the list below is what was found before";
    }
    void CheckAll() override { CheckAllFat(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckFatPath(*scan_, path); }
    Result<PreviewSource> FindForPreview(const std::string& path) override {
        auto node = FindFatFile(*scan_, path);
        if (!node) return node.error();
        return FatPreviewSource(devices_, volume_, **node);
    }
    PreviewFamily previewFamily() const override { return PreviewFamily::Fat; }
    Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) override {
        return RecoverFatFiles(*scan_, devices_, volume_, writer, progress, stop);
    }

  private:
    std::unique_ptr<FatScan> scan_;
    const DeviceMap& devices_;
    PartitionInfo volume_;
};

}  // namespace

Result<std::unique_ptr<FoundFiles>> ScanFatFoundFiles(const VolumeScanRequest& request) {
    const FatScanMode mode = request.mode == SCAN_FORMATTED ? FatScanMode::Formatted : FatScanMode::Deleted;
    auto scan = ScanFatVolume(request.devices, request.volume, request.filter, request.progress, mode,
                              request.range, request.stop);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(
        std::make_unique<FatFoundFiles>(std::move(*scan), request.devices, request.volume));
}

}  // namespace lumacore
