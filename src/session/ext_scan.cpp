#include "session/ext_scan.h"

#include "core/json_writer.h"
#include "core/filter.h"
#include "core/size_text.h"
#include "engines/ext/ext_row_text.h"

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

std::string ExtTreeJson(const ExtScan& scan) {
    JsonWriter json;
    json.BeginObject();
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
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", scan.completed);
    json.EndObject();
    return json.text();
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
    return RunExtRecovery(*files, *scan.engine, writer, progress, stop);
}

std::vector<std::string> ExtFailureLines(const ExtRecoverRunResult& result,
                                         const RecoveredFileWriter& writer) {
    std::vector<std::string> lines;
    for (const RecoveryFailure& failure : result.unmapped)
        lines.push_back(failure.name + ": " + failure.message);
    for (const RecoveryFailure& failure : writer.failures())
        lines.push_back(failure.name + ": " + failure.message);
    return lines;
}

}  // namespace lumacore
