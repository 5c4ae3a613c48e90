#include "session/fat_scan.h"

#include "core/iso_time.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "core/size_text.h"
#include "engines/fat/fat_extractor.h"
#include "engines/fat/fat_row_text.h"
#include "engines/fat/fat_volume.h"
#include "session/fat_recover_run.h"
#include "session/found_file_source.h"
#include "session/found_file_times.h"
#include "session/node_tree.h"

namespace lumacore {

namespace {

std::string FileRowText(const FatFileNode& node) {
    return node.displayName + "\t" + FatSizeText(node.size) + "\t" + node.attributeText + "\t" +
           FatDateTimeText(node.lastWriteDate, node.lastWriteTime) + "\t" +
           FatDateTimeText(node.creationDate, node.creationTime) + "\t" +
           FatAccessDateText(node.lastAccessDate) +
           // A seventh cell only when the file's data may be incomplete.
           (FatDataNote(node).empty() ? std::string() : "\t" + FatDataNote(node));
}

// FAT keeps local times without their zone; the last access is a date alone.
ListedFile FatListedFile(const FatFileNode& node, const std::string& folder) {
    ListedFile file{node.displayName,
                    JoinTreePath(folder, node.displayName),
                    node.size,
                    node.deleted,
                    IsoDosText(node.lastWriteDate, node.lastWriteTime),
                    IsoDosText(node.creationDate, node.creationTime),
                    IsoDosDateText(node.lastAccessDate),
                    "cluster",
                    node.firstCluster,
                    {},
                    {},
                    0};
    file.times = FatFileTimes(node);
    return file;
}

void WriteFileExtras(const FatFileNode& node, JsonWriter& json) {
    json.String("extension", node.extension);
    json.String("attributes", node.attributeText);
    json.Bool("dataMayBeIncomplete", !FatDataNote(node).empty());
    json.String("dataNote", FatDataNote(node));
}

void WriteFileJson(const FatFileNode& node, JsonWriter& json) {
    json.String("name", node.displayName);
    json.String("extension", node.extension);
    json.Unsigned("size", node.size);
    json.String("sizeText", FatSizeText(node.size));
    json.String("attributes", node.attributeText);
    json.String("created", FatDateTimeText(node.creationDate, node.creationTime));
    json.String("modified", FatDateTimeText(node.lastWriteDate, node.lastWriteTime));
    json.String("accessed", FatAccessDateText(node.lastAccessDate));
    json.Unsigned("firstCluster", node.firstCluster);
    json.Bool("dataMayBeIncomplete", !FatDataNote(node).empty());
    json.String("dataNote", FatDataNote(node));
}

}  // namespace

bool IsFatRecord(const PartitionInfo& partition) {
    const std::string name = partition.FsName();
    return name == "FAT" || name == "FAT16" || name == "FAT32" || name == "#FAT16#" || name == "#FAT32#";
}

Result<std::unique_ptr<FatScan>> ScanFatVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                               const FilterSettings& filter, ProgressFields& progress,
                                               FatScanMode mode, SectorRange range, const StopToken* stop,
                                               OrphanSweep sweep) {
    auto disk = devices.OpenPhysicalDrive(partition.diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    auto volume = MakeFatVolume(std::move(*disk), partition);
    if (!volume->IsOpen()) {
        Error e = volume->openError();
        e.message = "the FAT engine cannot read this volume: " + e.message;
        return e;
    }
    switch (sweep) {
        case OrphanSweep::Auto: volume->orphanSweep = CFatVolume::OrphanSweep::WhenDeletedFolders; break;
        case OrphanSweep::On: volume->orphanSweep = CFatVolume::OrphanSweep::Always; break;
        case OrphanSweep::Off: volume->orphanSweep = CFatVolume::OrphanSweep::Never; break;
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
    scan->folderTimes = volume->folderTimes();
    return scan;
}

void CheckAllFat(FatScan& scan) {
    CheckNodeTreeBelow(scan.tree, scan.root);
}

Result<void> CheckFatPath(FatScan& scan, const std::string& path) {
    return CheckNodeTreePath(scan.tree, scan.root, path);
}

std::string FatTreeText(const FatScan& scan) {
    return NodeTreeListingText(scan.tree, scan.root, scan.mode == FatScanMode::Formatted, FileRowText);
}

void WriteFatTreeJson(const FatScan& scan, JsonWriter& json) {
    WriteNodeTreeListingJson(scan.tree, scan.root, scan.completed, "fat", FatListedFile, WriteFileExtras,
                             WriteFileJson, json);
}

std::string FatTreeJson(const FatScan& scan) {
    JsonWriter json;
    WriteFatTreeJson(scan, json);
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
        scan.tree, scan.root, writer, progress, stop,
        [&](const FatFileNode& node, OutputFile& out) {
            return extractor->Copy(node, [&](std::span<const std::byte> data) { return out.Write(data); });
        },
        [&](const FatFileNode& node) {
            FoundFileDetails details{FatFileTimes(node), {}};
            std::uint64_t fileOffset = 0;
            for (const FatExtractor::Piece& piece : extractor->DiskPieces(node)) {
                details.byteRuns.push_back({fileOffset, piece.diskOffset, piece.length});
                fileOffset += piece.length;
            }
            return details;
        },
        [&](FatResultTree::ItemId item) {
            const auto times = scan.folderTimes.find(item);
            return times == scan.folderTimes.end() ? FileTimes{} : FatFolderFileTimes(times->second);
        }));
    (void)writer.Finish(devices.PhysicalDrivePath(volume.diskNumber));
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
    void WriteJson(JsonWriter& json) const override { WriteFatTreeJson(*scan_, json); }
    void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const override {
        VisitNodeTreeListedFiles(scan_->tree, scan_->root, FatListedFile, visit);
    }
    std::optional<std::string> IncompleteNote() const override {
        if (scan_->completed) return std::nullopt;
        return "a folder could not be read; the list below is what was found before";
    }
    void CheckAll() override { CheckAllFat(*scan_); }
    Result<void> CheckPath(const std::string& path) override { return CheckFatPath(*scan_, path); }
    Result<void> CheckId(std::string_view idKey, std::uint64_t id) override {
        if (idKey != "cluster") return FoundFiles::CheckId(idKey, id);
        return CheckNodeTreeWhere(
            scan_->tree, scan_->root, [id](const FatFileNode& node) { return node.firstCluster == id; },
            "first cluster " + std::to_string(id));
    }
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
                              request.range, request.stop, request.orphanSweep);
    if (!scan) return scan.error();
    return std::unique_ptr<FoundFiles>(
        std::make_unique<FatFoundFiles>(std::move(*scan), request.devices, request.volume));
}

}  // namespace lumacore
