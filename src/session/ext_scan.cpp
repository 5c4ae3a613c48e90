#include "session/ext_scan.h"

#include "core/filter.h"
#include "core/iso_time.h"
#include "core/json_writer.h"
#include "core/size_text.h"
#include "engines/ext/ext_row_text.h"
#include "session/found_file_source.h"
#include "session/found_file_times.h"
#include "session/listing_json.h"

namespace lumacore {

namespace {

struct Totals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

const std::vector<ExtFileNode*>* ListedFiles(const ExtScan& scan) {
    if (scan.lostFiles == ExtResultTree::kNoItem || !scan.tree.valid(scan.lostFiles)) return nullptr;
    return &scan.tree.item(scan.lostFiles).data.files;
}

Totals CountFiles(const ExtScan& scan) {
    Totals totals;
    if (const auto* files = ListedFiles(scan)) {
        for (const ExtFileNode* node : *files) {
            ++totals.files;
            totals.bytes += node->inode.size;
        }
    }
    return totals;
}

std::string RowText(const ExtFileNode& node) {
    return ExtRowName(node) + "\t" + ExtSizeText(node.inode.size) + "\t" + node.typeText + "\t" +
           ExtPermissionText(node.inode.mode) + "\t" + ExtTimeText(node.inode.mtime) + "\t" +
           ExtTimeText(node.inode.ctime) + "\t" + ExtTimeText(node.inode.atime) + "\tinode " +
           std::to_string(node.inodeNumber);
}

}  // namespace

bool IsExtRecord(const PartitionInfo& partition) {
    return IsExtRecordName(partition.FsName());
}

Result<std::unique_ptr<ExtScan>> ScanExtVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                               const FilterSettings& filter, ProgressFields& progress,
                                               const StopToken* stop) {
    if (!IsExtRecord(partition)) {
        return Error::Make(ErrorKind::Unsupported,
                           "the EXT engine does not read " + partition.FsName() + " volumes");
    }
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    auto scan = std::make_unique<ExtScan>();
    scan->source = devices.PhysicalDrivePath(partition.diskNumber);
    scan->engine = MakeExtVolume(std::move(*disk), partition);
    if (!scan->engine->IsOpen()) {
        Error e = scan->engine->openError();
        e.message = "the EXT engine cannot read this volume: " + e.message;
        return e;
    }
    scan->root = scan->engine->Scan(scan->tree, progress, StopOrNever(stop));
    scan->lostFiles = scan->engine->lostFilesItem();
    scan->completed = scan->engine->scanCompleted();
    if (scan->lostFiles != ExtResultTree::kNoItem) {
        auto& files = scan->tree.item(scan->lostFiles).data.files;
        std::erase_if(files, [&](const ExtFileNode* node) {
            const FilterSubject subject{node->name, node->typeText, ExtDosDate(node->inode.ctime),
                                        node->inode.size};
            return !PassesFilter(subject, filter);
        });
    }
    return scan;
}

std::string ExtTreeText(const ExtScan& scan) {
    std::string out;
    if (scan.root != ExtResultTree::kNoItem) {
        out += scan.tree.item(scan.root).text + "\n";
        if (const auto* files = ListedFiles(scan)) {
            out += "  " + scan.tree.item(scan.lostFiles).text + "/\n";
            for (const ExtFileNode* node : *files) out += "    " + RowText(*node) + "\n";
        }
    }
    const Totals totals = CountFiles(scan);
    out += "Found Deleted Files : " + std::to_string(totals.files) + " (" +
           TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

namespace {

// Every file the EXT scan finds is a deleted inode.
ListedFile ExtListedFile(const ExtFileNode& node, const std::string& folder) {
    const std::string name = ExtRowName(node);
    ListedFile file{name,
                    JoinTreePath(folder, name),
                    node.inode.size,
                    true,
                    IsoUtcText(node.inode.mtime),
                    IsoUtcText(node.inode.ctime),
                    IsoUtcText(node.inode.atime),
                    "inode",
                    node.inodeNumber,
                    {},
                    {},
                    0};
    file.times = ExtFileTimes(node);
    file.changed = FromUnixSeconds(node.inode.ctime);
    file.unixMode = node.inode.mode;
    return file;
}

}  // namespace

void WriteExtTreeJson(const ExtScan& scan, JsonWriter& json) {
    BeginListing(json, "ext");
    if (scan.root != ExtResultTree::kNoItem) {
        json.BeginObject("root");
        json.String("name", scan.tree.item(scan.root).text);
        json.Number("engineKind", scan.tree.item(scan.root).data.engineKind);
        json.BeginArray("folders");
        if (const auto* files = ListedFiles(scan)) {
            json.BeginObject();
            json.String("name", scan.tree.item(scan.lostFiles).text);
            json.BeginArray("files");
            for (const ExtFileNode* node : *files) {
                json.BeginObject();
                json.String("name", ExtRowName(*node));
                json.String("type", node->typeText);
                json.Unsigned("size", node->inode.size);
                json.String("sizeText", ExtSizeText(node->inode.size));
                json.String("attributes", ExtPermissionText(node->inode.mode));
                json.String("modified", ExtTimeText(node->inode.mtime));
                json.String("created", ExtTimeText(node->inode.ctime));
                json.String("accessed", ExtTimeText(node->inode.atime));
                json.Unsigned("inode", node->inodeNumber);
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    BeginListedFiles(json);
    if (const auto* files = ListedFiles(scan)) {
        const std::string& folder = scan.tree.item(scan.lostFiles).text;
        for (const ExtFileNode* node : *files) {
            BeginListedFile(json, "ext", ExtListedFile(*node, folder));
            json.String("type", node->typeText);
            json.String("mode", Format("%06o", static_cast<unsigned>(node->inode.mode)));
            json.String("source", node->journalSequence ? "journal" : "inodeTable");
            json.EndObject();
        }
    }
    EndListedFiles(json);
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", scan.completed);
    json.EndObject();
}

std::string ExtTreeJson(const ExtScan& scan) {
    JsonWriter json;
    WriteExtTreeJson(scan, json);
    return json.text();
}

Result<void> CheckExtInode(ExtScan& scan, std::uint64_t inode) {
    bool found = false;
    if (const auto* files = ListedFiles(scan)) {
        for (ExtFileNode* node : *files) {
            if (node->inodeNumber != inode) continue;
            node->checked = found = true;
        }
    }
    if (!found)
        return Error::Make(ErrorKind::NotFound, "no file of inode " + std::to_string(inode) + " was found");
    scan.tree.item(scan.root).checked = true;
    scan.tree.item(scan.lostFiles).checked = true;
    return {};
}

void CheckAllExt(ExtScan& scan) {
    if (scan.root == ExtResultTree::kNoItem) return;
    scan.tree.item(scan.root).checked = true;
    if (scan.lostFiles == ExtResultTree::kNoItem) return;
    scan.tree.item(scan.lostFiles).checked = true;
    for (ExtFileNode* node : scan.tree.item(scan.lostFiles).data.files) node->checked = true;
}

Result<void> CheckExtPath(ExtScan& scan, const std::string& path) {
    auto notFound = [&] { return Error::Make(ErrorKind::NotFound, "no file '" + path + "' was found"); };
    if (scan.lostFiles == ExtResultTree::kNoItem) return notFound();
    const std::string folder = scan.tree.item(scan.lostFiles).text;
    if (path == folder || path == folder + "/") {
        CheckAllExt(scan);
        return {};
    }
    const std::string name = path.rfind(folder + "/", 0) == 0 ? path.substr(folder.size() + 1) : path;
    bool found = false;
    for (ExtFileNode* node : scan.tree.item(scan.lostFiles).data.files) {
        if (ExtRowName(*node) != name) continue;
        node->checked = true;
        found = true;
    }
    if (!found) return notFound();
    scan.tree.item(scan.root).checked = true;
    scan.tree.item(scan.lostFiles).checked = true;
    return {};
}

ExtRecoverRunResult RecoverExtFiles(ExtScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                                    const StopToken& stop) {
    if (!scan.engine || scan.root == ExtResultTree::kNoItem || !scan.tree.item(scan.root).checked) return {};
    const auto* files = ListedFiles(scan);
    if (files == nullptr) return {};
    ExtRecoverRunResult result = RunExtRecovery(*files, *scan.engine, writer, progress, stop);
    (void)writer.Finish(scan.source);
    return result;
}

namespace {

class ExtFoundFiles final : public FoundFiles {
  public:
    explicit ExtFoundFiles(std::unique_ptr<ExtScan> scan) : scan_(std::move(scan)) {}

    std::string Text() const override { return ExtTreeText(*scan_); }
    void WriteJson(JsonWriter& json) const override { WriteExtTreeJson(*scan_, json); }
    void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const override {
        const auto* files = ListedFiles(*scan_);
        if (files == nullptr) return;
        const std::string& folder = scan_->tree.item(scan_->lostFiles).text;
        for (const ExtFileNode* node : *files) visit(ExtListedFile(*node, folder));
    }
    std::optional<std::string> IncompleteNote() const override {
        if (scan_->completed) return std::nullopt;
        return "the journal could not be read to its end; the list below is what was found";
    }
    void CheckAll() override { CheckAllExt(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckExtPath(*scan_, path); }
    Result<void> CheckId(std::string_view idKey, std::uint64_t id) override {
        if (idKey != "inode") return FoundFiles::CheckId(idKey, id);
        return CheckExtInode(*scan_, id);
    }
    Result<PreviewSource> FindForPreview(const std::string& path) override {
        auto node = FindExtFile(*scan_, path);
        if (!node) return node.error();
        return ExtPreviewSource(*scan_->engine, **node);
    }
    PreviewFamily previewFamily() const override { return PreviewFamily::Ext; }
    Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) override {
        const ExtRecoverRunResult run = RecoverExtFiles(*scan_, writer, progress, stop);
        RecoverResult result(run.counts);
        result.failureLines = FailureLines(run.unmapped, writer);
        return result;
    }

  private:
    std::unique_ptr<ExtScan> scan_;
};

}  // namespace

Result<std::unique_ptr<FoundFiles>> ScanExtFoundFiles(const VolumeScanRequest& request) {
    auto scan =
        ScanExtVolume(request.devices, request.volume, request.filter, request.progress, request.stop);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(std::make_unique<ExtFoundFiles>(std::move(*scan)));
}

}  // namespace lumacore
