#include "session/raw_scan.h"

#include <algorithm>

#include "core/json_writer.h"
#include "core/size_text.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "session/found_file_source.h"
#include "session/listing_json.h"

namespace lumacore {

namespace {

struct Totals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

Totals CountFiles(const RawScan& scan) {
    Totals totals;
    for (const auto& node : scan.carver->found()) {
        ++totals.files;
        totals.bytes += node->length;
    }
    return totals;
}

// RAW lists show sizes as the NTFS lists do.
std::string SizeOf(const RawFileNode& node) {
    return NtfsSizeText(node.length);
}

Error Usage(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

// Carved data belongs to no file system that could call it live, and keeps no times.
ListedFile RawListedFile(const RawFileNode& node, const std::string& kindName) {
    return {node.name, JoinTreePath(kindName, node.name), node.length, true, {}, {}, {}, "sector",
            node.firstSector, {}, {}, 0};
}

// A file in more than one piece lists them: "fragments": [{"firstSector", "diskSector", "length"}].
void WriteFragments(JsonWriter& json, const RawFileNode& node, std::uint64_t partitionSector) {
    if (node.fragments.size() < 2) return;
    json.BeginArray("fragments");
    for (const RawExtent& extent : node.fragments) {
        json.BeginObject();
        json.Unsigned("firstSector", extent.firstSector);
        json.Unsigned("diskSector", extent.firstSector + partitionSector);
        json.Unsigned("length", extent.length);
        json.EndObject();
    }
    json.EndArray();
}

// Calls visit(node, kindName) for every carved file, kind by kind as the listing shows them.
template <typename Visit>
void ForEachListedNode(const RawScan& scan, const Visit& visit) {
    if (scan.root == RawResultTree::kNoItem) return;
    for (RawResultTree::ItemId kind : scan.tree.item(scan.root).children) {
        const std::string& kindName = scan.tree.item(kind).text;
        for (std::uint32_t index : scan.tree.item(kind).data) visit(*scan.carver->found()[index], kindName);
    }
}

}  // namespace

Result<std::unique_ptr<RawScan>> ScanRaw(const DeviceMap& devices, const RawScanRequest& request,
                                         ProgressFields& progress, const StopToken* stop) {
    auto scan = std::make_unique<RawScan>();
    const bool loaded =
        !request.entries.empty() ||
        (request.signatureFile.empty() ? scan->signatures.EnsureLoaded()
                                       : scan->signatures.EnsureLoaded(request.signatureFile));
    if (!request.entries.empty()) {
        scan->signatures.entries() = request.entries;
    } else if (!loaded) {
        const std::filesystem::path file =
            request.signatureFile.empty() ? FindSignatureFile() : request.signatureFile;
        return Error::Make(ErrorKind::NotFound,
                           "no signatures: " + file.string() + " is missing, unreadable or empty");
    }
    if (request.entries.empty() && !request.types.empty()) {
        const auto unknown = scan->signatures.EnableOnly(request.types);
        if (!unknown.empty()) {
            std::string known;
            for (const SignatureEntry& entry : scan->signatures.entries()) {
                if (known.find(" " + entry.extension + ",") == std::string::npos)
                    known += " " + entry.extension + ",";
            }
            if (!known.empty()) known.pop_back();
            return Usage("no signature for '" + unknown.front() + "' (types:" + known + ")");
        }
    }
    auto disk = devices.OpenPhysicalDrive(request.source.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    scan->source = devices.PhysicalDrivePath(request.source.diskNumber);
    scan->carver = std::make_unique<CRawCarver>(std::move(*disk), request.source);
    const std::uint64_t sectors = request.source.totalBytes / 512;
    scan->carver->SetRange(request.start.value_or(0), request.end ? *request.end : sectors);
    scan->carver->SetSizeLimit(request.sizeLimitKb);
    scan->carver->SetSignatures(&scan->signatures);
    scan->carver->SetFormatParsing(request.parseEnds);
    progress.SetText("Scanning Raw Files ...");
    if (scan->carver->Scan(progress, StopOrNever(stop)) != 0) {
        return Error::Make(ErrorKind::NotFound, "no signature type is enabled");
    }
    scan->root = scan->carver->BuildTree(scan->tree);
    return scan;
}

std::string RawTreeText(const RawScan& scan) {
    std::string out;
    if (scan.root != RawResultTree::kNoItem) {
        out += scan.tree.item(scan.root).text + "\n";
        for (RawResultTree::ItemId kind : scan.tree.item(scan.root).children) {
            out += "  " + scan.tree.item(kind).text + "/\n";
            for (std::uint32_t index : scan.tree.item(kind).data) {
                const RawFileNode& node = *scan.carver->found()[index];
                out += "    " + node.name + "\t" + SizeOf(node) + "\tsector " +
                       std::to_string(node.firstSector + scan.carver->partitionOffset() / 512) + "\n";
            }
        }
    }
    const Totals totals = CountFiles(scan);
    out += "Found Raw Files : " + std::to_string(totals.files) + " (" +
           TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

void WriteRawTreeJson(const RawScan& scan, JsonWriter& json) {
    BeginListing(json, "raw");
    if (scan.root != RawResultTree::kNoItem) {
        json.BeginObject("root");
        json.String("name", scan.tree.item(scan.root).text);
        json.BeginArray("kinds");
        for (RawResultTree::ItemId kind : scan.tree.item(scan.root).children) {
            json.BeginObject();
            json.String("name", scan.tree.item(kind).text);
            json.BeginArray("files");
            for (std::uint32_t index : scan.tree.item(kind).data) {
                const RawFileNode& node = *scan.carver->found()[index];
                json.BeginObject();
                json.String("name", node.name);
                json.String("description", node.description);
                json.String("extension", node.extension);
                json.Unsigned("firstSector", node.firstSector);
                json.Unsigned("diskSector", node.firstSector + scan.carver->partitionOffset() / 512);
                json.Unsigned("length", node.length);
                json.String("sizeText", SizeOf(node));
                json.String("ended", std::string(RawFileEndText(node.ended)));
                WriteFragments(json, node, scan.carver->partitionOffset() / 512);
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    BeginListedFiles(json);
    ForEachListedNode(scan, [&](const RawFileNode& node, const std::string& kindName) {
        BeginListedFile(json, "raw", RawListedFile(node, kindName));
        json.String("description", node.description);
        json.String("extension", node.extension);
        json.Unsigned("diskSector", node.firstSector + scan.carver->partitionOffset() / 512);
        json.String("ended", std::string(RawFileEndText(node.ended)));
        WriteFragments(json, node, scan.carver->partitionOffset() / 512);
        json.EndObject();
    });
    EndListedFiles(json);
    json.Unsigned("rangeFirstSector", scan.carver->rangeFirst());
    json.Unsigned("rangeEndSector", scan.carver->rangeLast());
    json.Unsigned("sizeLimitKb", scan.carver->sizeLimit());
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.EndObject();
}

std::string RawTreeJson(const RawScan& scan) {
    JsonWriter json;
    WriteRawTreeJson(scan, json);
    return json.text();
}

void CheckAllRaw(RawScan& scan) {
    for (auto& node : scan.carver->found()) node->selected = true;
    if (scan.root == RawResultTree::kNoItem) return;
    scan.tree.BreadthFirst(scan.root, [&](RawResultTree::ItemId id) {
        scan.tree.item(id).checked = true;
        return true;
    });
}

Result<void> CheckRawPath(RawScan& scan, const std::string& path) {
    auto notFound = [&] {
        return Error::Make(ErrorKind::NotFound, "no file or kind '" + path + "' was found");
    };
    if (scan.root == RawResultTree::kNoItem) return notFound();
    const std::size_t slash = path.find('/');
    const std::string kindName = slash == std::string::npos ? path : path.substr(0, slash);
    const std::string fileName = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    bool found = false;
    for (RawResultTree::ItemId kind : scan.tree.item(scan.root).children) {
        auto& item = scan.tree.item(kind);
        for (std::uint32_t index : item.data) {
            RawFileNode& node = *scan.carver->found()[index];
            const bool wanted = slash == std::string::npos ? (item.text == kindName || node.name == path)
                                                           : (item.text == kindName && node.name == fileName);
            if (!wanted) continue;
            node.selected = true;
            item.checked = true;
            scan.tree.item(scan.root).checked = true;
            found = true;
        }
    }
    if (!found) return notFound();
    return {};
}

RawRecoverRunResult RecoverRaw(RawScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                               const StopToken& stop) {
    // What is ticked now, not what was ticked for an earlier run.
    scan.carver->ClearSelection();
    if (scan.root != RawResultTree::kNoItem) scan.carver->BuildSelection(scan.tree, scan.root);
    RawRecoverRunResult result = RunRawRecovery(
        scan.carver->selection(), writer, progress, stop, [&](const RawFileNode& node, const RawByteSink& write) {
            const int code = scan.carver->WriteCarvedFile(&node, write);
            if (code == 0) return Result<void>();
            return Result<void>(Error::Io("cannot read the sectors of " + node.name, code > 0 ? code : 0));
        },
        scan.carver->partitionOffset());
    (void)writer.Finish(scan.source);
    return result;
}

namespace {

class RawFoundFiles final : public FoundFiles {
  public:
    explicit RawFoundFiles(std::unique_ptr<RawScan> scan) : scan_(std::move(scan)) {}

    std::string Text() const override { return RawTreeText(*scan_); }
    void WriteJson(JsonWriter& json) const override { WriteRawTreeJson(*scan_, json); }
    void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const override {
        ForEachListedNode(*scan_, [&](const RawFileNode& node, const std::string& kindName) {
            visit(RawListedFile(node, kindName));
        });
    }
    std::vector<std::string> Notices() const override {
        // A stray "rp.dat" that gives no signatures is passed over for the program's own list.
        std::vector<std::string> notices;
        for (const auto& skipped : scan_->signatures.skippedFiles()) {
            notices.push_back("ignoring " + skipped.string() + ": it is not a signature file; using " +
                              scan_->signatures.loadedFrom().string());
        }
        return notices;
    }
    void CheckAll() override { CheckAllRaw(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckRawPath(*scan_, path); }
    std::optional<std::string> NothingCheckedMessage() override {
        const auto& carved = scan_->carver->found();
        if (std::any_of(carved.begin(), carved.end(), [](const auto& node) { return node->selected; }))
            return std::nullopt;
        return std::string(kRawNothingSelected);
    }
    Result<PreviewSource> FindForPreview(const std::string& path) override {
        auto node = FindRawFile(*scan_, path);
        if (!node) return node.error();
        return RawPreviewSource(*scan_->carver, **node);
    }
    PreviewFamily previewFamily() const override { return PreviewFamily::Raw; }
    Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) override {
        const RawRecoverRunResult run = RecoverRaw(*scan_, writer, progress, stop);
        RecoverResult result(run);
        result.failureLines = FailureLines({}, writer);
        if (!run.reportLines.empty()) result.report = run.ReportText();
        return result;
    }

  private:
    std::unique_ptr<RawScan> scan_;
};

}  // namespace

Result<std::unique_ptr<FoundFiles>> ScanRawFoundFiles(const VolumeScanRequest& request) {
    RawScanRequest carve;
    carve.source = request.volume;
    carve.start = request.range.start;
    carve.end = request.range.end;
    carve.sizeLimitKb = request.carving.sizeLimitKb;
    carve.types = request.carving.types;
    carve.signatureFile = request.carving.signatureFile;
    auto scan = ScanRaw(request.devices, carve, request.progress, request.stop);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(std::make_unique<RawFoundFiles>(std::move(*scan)));
}

}  // namespace lumacore
