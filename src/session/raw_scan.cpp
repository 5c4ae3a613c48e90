#include "session/raw_scan.h"

#include <algorithm>
#include <iostream>

#include "core/json_writer.h"
#include "cli/overwrite_prompt.h"
#include "cli/progress_line.h"
#include "cli/volume_selection.h"
#include "core/size_text.h"
#include "disk/disk_inventory.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "recovery/destination_guard.h"

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

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        if (comma > from) parts.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return parts;
}

Error Usage(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

}  // namespace

Result<std::unique_ptr<RawScan>> ScanRaw(const DeviceMap& devices, const RawScanRequest& request,
                                         ProgressFields& progress, const StopToken* stop) {
    auto scan = std::make_unique<RawScan>();
    const std::filesystem::path file =
        request.signatureFile.empty() ? FindSignatureFile() : request.signatureFile;
    if (!scan->signatures.EnsureLoaded(file)) {
        return Error::Make(ErrorKind::NotFound,
                           "no signatures: " + file.string() + " is missing, unreadable or empty");
    }
    if (!request.types.empty()) {
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
    scan->carver = std::make_unique<CRawCarver>(std::move(*disk), request.source);
    const std::uint64_t sectors = request.source.totalBytes / 512;
    scan->carver->SetRange(request.start.value_or(0), request.end ? *request.end : sectors);
    scan->carver->SetSizeLimit(request.sizeLimitKb);
    scan->carver->SetSignatures(&scan->signatures);
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

std::string RawTreeJson(const RawScan& scan) {
    JsonWriter json;
    json.BeginObject();
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
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.Unsigned("rangeFirstSector", scan.carver->rangeFirst());
    json.Unsigned("rangeEndSector", scan.carver->rangeLast());
    json.Unsigned("sizeLimitKb", scan.carver->sizeLimit());
    const Totals totals = CountFiles(scan);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.EndObject();
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
    return RunRawRecovery(
        scan.carver->selection(), writer, progress, stop, [&](const RawFileNode& node, OutputFile& out) {
            const int code = scan.carver->WriteCarvedFile(
                &node, [&](std::span<const std::byte> data) { return out.Write(data); });
            if (code == 0) return Result<void>();
            return Result<void>(Error::Io("cannot read the sectors of " + node.name, code > 0 ? code : 0));
        });
}

void AddRawOptions(OptionParser& options) {
    options.Value("--size-limit").Value("--types").Value("--signatures");
}

Result<RawScanRequest> RawRequestFromOptions(const DeviceMap& devices, const OptionParser& options) {
    RawScanRequest request;
    if (options.Has("--volume") || options.Has("--start")) {
        CDiskInventory inventory(devices);
        inventory.Refresh();
        auto volume = SelectVolume(inventory, options);
        if (!volume) return volume.error();
        request.source = *volume;
    } else if (const auto disk = options.Get("--disk")) {
        // The whole disk, read without its partition table: a lost table is when carving is needed.
        std::uint64_t number = 0;
        if (!ParseUnsigned(*disk, number) ||
            number >= static_cast<std::uint64_t>(devices.PhysicalDriveCount())) {
            return Usage("there is no disk " + *disk + " (" + std::to_string(devices.PhysicalDriveCount()) +
                         " disks)");
        }
        const int drive = static_cast<int>(number);
        std::uint64_t bytes = devices.QueryDiskLength(drive);
        if (bytes == 0) {
            auto opened = devices.OpenPhysicalDrive(drive, AccessMode::ReadOnly);
            if (!opened) return opened.error();
            bytes = (*opened)->Size();
        }
        request.source = WholeDiskRecord(drive, bytes);
    } else {
        return Usage(
            "choose what to carve with --volume I, --disk N --start SECTOR, or --disk N for the whole disk");
    }
    auto range = ScanRangeFromOptions(options, request.source);
    if (!range) return range.error();
    request.start = range->start;
    request.end = range->end;
    if (request.start && request.end && *request.start >= *request.end) {
        return Usage("Start sector must be less than end sector");
    }
    if (const auto limit = options.Get("--size-limit")) {
        std::uint64_t kilobytes = 0;
        if (!ParseUnsigned(*limit, kilobytes) || kilobytes > CRawCarver::kMaxSizeLimitKb) {
            return Usage("--size-limit takes kilobytes from 1 to " +
                         std::to_string(CRawCarver::kMaxSizeLimitKb) + " (0 for the default " +
                         std::to_string(CRawCarver::kDefaultSizeLimitKb) + ")");
        }
        request.sizeLimitKb = static_cast<std::uint32_t>(kilobytes);
    }
    if (const auto types = options.Get("--types")) {
        request.types = SplitList(*types);
        if (request.types.empty()) return Usage("--types takes extensions such as jpg,png,pdf");
    }
    if (const auto file = options.Get("--signatures")) request.signatureFile = *file;
    return request;
}

int RunRawScanCommand(const DeviceMap& devices, const OptionParser& options) {
    auto request = RawRequestFromOptions(devices, options);
    if (!request) {
        std::cerr << "lumacore-cli scan: " << request.error().message << '\n';
        return request.error().kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure;
    }
    ProgressFields progress;
    Result<std::unique_ptr<RawScan>> scan = Error{};
    {
        ProgressLine line(progress);
        scan = ScanRaw(devices, *request, progress);
    }
    if (!scan) {
        std::cerr << "lumacore-cli scan: " << scan.error().message << '\n';
        return scan.error().kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure;
    }
    std::cout << (options.Has("--json") ? RawTreeJson(**scan) : RawTreeText(**scan));
    return kExitOk;
}

int RunRawRecoverCommand(const DeviceMap& devices, const OptionParser& options,
                         const std::filesystem::path& destination, OverwritePolicy policy) {
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli recover: " << message << '\n';
        return code;
    };
    auto request = RawRequestFromOptions(devices, options);
    if (!request) {
        return fail(request.error().message,
                    request.error().kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure);
    }
    const RecoverySource source = SourceOf(devices, request->source);
    std::error_code created;
    std::filesystem::create_directories(destination, created);
    if (auto allowed = CheckDestination(destination, source); !allowed)
        return fail(allowed.error().message, kExitFailure);

    ProgressFields progress;
    Result<std::unique_ptr<RawScan>> scan = Error{};
    {
        ProgressLine line(progress);
        scan = ScanRaw(devices, *request, progress);
    }
    if (!scan) {
        return fail(scan.error().message,
                    scan.error().kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure);
    }
    RawScan& found = **scan;
    const auto only = options.GetAll("--only");
    if (only.empty()) {
        CheckAllRaw(found);
    } else {
        for (const std::string& path : only) {
            if (auto checked = CheckRawPath(found, path); !checked)
                return fail(checked.error().message, kExitUsage);
        }
    }
    const auto& carved = found.carver->found();
    if (std::none_of(carved.begin(), carved.end(), [](const auto& node) { return node->selected; })) {
        return fail(kRawNothingSelected, kExitOk);
    }

    RecoveredFileWriter writer(destination, policy, AskOverwriteOnTerminal, SourceDrivePaths(devices));
    StopToken stop;
    RawRecoverRunResult result;
    {
        ProgressLine line(progress);
        result = RecoverRaw(found, writer, progress, stop);
    }
    for (const RecoveryFailure& failure : writer.failures()) {
        std::cerr << "lumacore-cli recover: " << failure.name << ": " << failure.message << '\n';
    }
    if (!result.reportLines.empty()) std::cerr << result.ReportText();
    std::cout << "Recovered " << result.filesWritten << " files (" << result.bytesWritten << " bytes) to "
              << destination << "; " << result.failures << " failed; " << result.keptExisting
              << " existing kept" << (result.cancelled ? "; cancelled" : "") << '\n';
    return kExitOk;
}

}  // namespace lumacore
