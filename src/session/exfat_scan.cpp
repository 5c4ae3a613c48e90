#include "session/exfat_scan.h"

#include <algorithm>

#include "core/iso_time.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "core/size_text.h"
#include "engines/exfat/exfat_extractor.h"
#include "engines/exfat/exfat_row_text.h"
#include "engines/exfat/exfat_volume.h"
#include "engines/fat/fat_extractor.h"
#include "session/found_file_source.h"
#include "session/found_file_times.h"
#include "session/node_tree.h"
#include "session/tree_recover_run.h"

namespace lumacore {

namespace {

// The range the front ends hand over counts 512-byte sectors; the engine counts the volume's own.
constexpr std::uint64_t kRangeSectorBytes = 512;

std::string FileRowText(const ExfatFileNode& node) {
    return node.displayName + "\t" + ExfatSizeText(node.size) + "\t" + node.attributeText + "\t" +
           ExfatTimeText(node.modified) + "\t" + ExfatTimeText(node.created) + "\t" +
           ExfatTimeText(node.accessed);
}

// exFAT times are local, with their offset from UTC where the writer recorded it.
std::string IsoExfatText(const ExfatTimestamp& time) {
    return IsoDosText(time.dosDate(), time.dosTime(), time.tenMs,
                      time.hasUtcOffset() ? std::optional<int>(time.utcOffsetMinutes()) : std::nullopt);
}

ListedFile ExfatListedFile(const ExfatFileNode& node, const std::string& folder) {
    ListedFile file{node.displayName,
                    JoinTreePath(folder, node.displayName),
                    node.size,
                    node.deleted,
                    IsoExfatText(node.modified),
                    IsoExfatText(node.created),
                    IsoExfatText(node.accessed),
                    "cluster",
                    node.firstCluster,
                    {},
                    {},
                    0};
    file.times = ExfatFileTimes(node);
    return file;
}

void WriteFileExtras(const ExfatFileNode& node, JsonWriter& json) {
    json.String("extension", node.extension);
    json.String("attributes", node.attributeText);
    json.Unsigned("validDataLength", node.validDataLength);
}

void WriteFileJson(const ExfatFileNode& node, JsonWriter& json) {
    json.String("name", node.displayName);
    json.String("extension", node.extension);
    json.Unsigned("size", node.size);
    json.String("sizeText", ExfatSizeText(node.size));
    json.String("attributes", node.attributeText);
    json.String("created", ExfatTimeText(node.created));
    json.String("modified", ExfatTimeText(node.modified));
    json.String("accessed", ExfatTimeText(node.accessed));
    json.Unsigned("firstCluster", node.firstCluster);
    json.Unsigned("validDataLength", node.validDataLength);
}

std::uint64_t VolumeSector(std::uint32_t rangeSector, std::uint32_t bytesPerSector) {
    return std::uint64_t{rangeSector} * kRangeSectorBytes / std::max<std::uint32_t>(bytesPerSector, 1);
}

}  // namespace

Result<std::unique_ptr<ExfatScan>> ScanExfatVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                                   const FilterSettings& filter, ProgressFields& progress,
                                                   ExfatScanMode mode, SectorRange range,
                                                   const StopToken* stop) {
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    CExfatVolume volume(std::move(*disk), partition);
    if (!volume.IsOpen()) {
        Error e = volume.openError();
        e.message = "the exFAT engine cannot read this volume: " + e.message;
        return e;
    }
    auto scan = std::make_unique<ExfatScan>();
    scan->mode = mode;
    const StopToken& running = StopOrNever(stop);
    if (mode == ExfatScanMode::Formatted) {
        const std::uint32_t bytesPerSector = volume.layout().geometry().bytesPerSector;
        if (range.start) volume.rangeStart = VolumeSector(*range.start, bytesPerSector);
        if (range.end) volume.rangeEnd = VolumeSector(*range.end, bytesPerSector);
        progress.SetText("Scanning Formated Drive ...");
        scan->completed = volume.FormattedDriveScan(scan->tree, filter, progress, running);
    } else {
        progress.SetText("Scanning Deleted Files ...");
        scan->completed = volume.DeletedFileScan(scan->tree, filter, progress, running);
    }
    scan->root = volume.rootItem();
    return scan;
}

void CheckAllExfat(ExfatScan& scan) {
    CheckNodeTreeBelow(scan.tree, scan.root);
}

Result<void> CheckExfatPath(ExfatScan& scan, const std::string& path) {
    return CheckNodeTreePath(scan.tree, scan.root, path);
}

std::string ExfatTreeText(const ExfatScan& scan) {
    return NodeTreeListingText(scan.tree, scan.root, scan.mode == ExfatScanMode::Formatted, FileRowText);
}

void WriteExfatTreeJson(const ExfatScan& scan, JsonWriter& json) {
    WriteNodeTreeListingJson(scan.tree, scan.root, scan.completed, "exfat", ExfatListedFile, WriteFileExtras,
                             WriteFileJson, json);
}

std::string ExfatTreeJson(const ExfatScan& scan) {
    JsonWriter json;
    WriteExfatTreeJson(scan, json);
    return json.text();
}

Result<RecoverResult> RecoverExfatFiles(const ExfatScan& scan, const DeviceMap& devices,
                                        const PartitionInfo& volume, RecoveredFileWriter& writer,
                                        ProgressFields& progress, const StopToken& stop) {
    auto disk = devices.OpenPhysicalDrive(volume.diskNumber, AccessMode::ReadOnly);
    if (!disk) return Error::Io(kCannotOpenDevice);
    auto extractor = ExfatExtractor::Open(std::move(*disk), volume);
    if (!extractor) return extractor.error();
    RecoverResult result(RunTreeRecovery<ExfatFileNode>(
        scan.tree, scan.root, writer, progress, stop, [&](const ExfatFileNode& node, OutputFile& out) {
            return extractor->Copy(node, [&](std::span<const std::byte> data) { return out.Write(data); });
        },
        [](const ExfatFileNode& node) { return FoundFileDetails{ExfatFileTimes(node), {}}; }));
    (void)writer.Finish(devices.PhysicalDrivePath(volume.diskNumber));
    // Like the FAT page, nothing is reported per file: what could not be written is missing or short.
    result.failureLines = FailureLines({}, writer);
    return result;
}

namespace {

class ExfatFoundFiles final : public FoundFiles {
  public:
    ExfatFoundFiles(std::unique_ptr<ExfatScan> scan, const DeviceMap& devices, const PartitionInfo& volume)
        : scan_(std::move(scan)), devices_(devices), volume_(volume) {}

    std::string Text() const override { return ExfatTreeText(*scan_); }
    void WriteJson(JsonWriter& json) const override { WriteExfatTreeJson(*scan_, json); }
    void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const override {
        VisitNodeTreeListedFiles(scan_->tree, scan_->root, ExfatListedFile, visit);
    }
    std::optional<std::string> IncompleteNote() const override {
        if (scan_->completed) return std::nullopt;
        return "a folder could not be read; the list below is what was found before";
    }
    void CheckAll() override { CheckAllExfat(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckExfatPath(*scan_, path); }
    Result<void> CheckId(std::string_view idKey, std::uint64_t id) override {
        if (idKey != "cluster") return FoundFiles::CheckId(idKey, id);
        return CheckNodeTreeWhere(
            scan_->tree, scan_->root, [id](const ExfatFileNode& node) { return node.firstCluster == id; },
            "first cluster " + std::to_string(id));
    }
    Result<PreviewSource> FindForPreview(const std::string& path) override {
        auto node = FindExfatFile(*scan_, path);
        if (!node) return node.error();
        if (!reader_) {
            auto disk = devices_.OpenPhysicalDrive(volume_.diskNumber, AccessMode::ReadOnly);
            if (!disk) return Error::Io(kCannotOpenDevice);
            auto opened = ExfatExtractor::Open(std::move(*disk), volume_);
            if (!opened) return opened.error();
            reader_.emplace(std::move(*opened));
        }
        return ExfatPreviewSource(*reader_, **node);
    }
    // The exFAT page previews as the FAT page does.
    PreviewFamily previewFamily() const override { return PreviewFamily::Fat; }
    Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) override {
        return RecoverExfatFiles(*scan_, devices_, volume_, writer, progress, stop);
    }

  private:
    std::unique_ptr<ExfatScan> scan_;
    const DeviceMap& devices_;
    PartitionInfo volume_;
    std::optional<ExfatExtractor> reader_;  // opened by the first preview: it holds the FAT and bitmap
};

}  // namespace

Result<std::unique_ptr<FoundFiles>> ScanExfatFoundFiles(const VolumeScanRequest& request) {
    const ExfatScanMode mode =
        request.mode == SCAN_FORMATTED ? ExfatScanMode::Formatted : ExfatScanMode::Deleted;
    auto scan = ScanExfatVolume(request.devices, request.volume, request.filter, request.progress, mode,
                                request.range, request.stop);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(
        std::make_unique<ExfatFoundFiles>(std::move(*scan), request.devices, request.volume));
}

}  // namespace lumacore
