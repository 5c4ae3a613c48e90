#include "ui/results/exfat_family.h"

#include "core/recovery_settings.h"
#include "core/scan_mode.h"
#include "engines/exfat/exfat_row_text.h"
#include "engines/fat/fat_extractor.h"
#include "session/found_file_source.h"
#include "ui/results/result_texts.h"
#include "ui/shell.h"

namespace lumacore::ui {

namespace {

// The moment in the order the list sorts it: date and time, then the 10 ms part.
std::uint64_t MomentKey(const ExfatTimestamp& stamp) {
    return std::uint64_t{stamp.raw} << 8 | stamp.tenMs;
}

}  // namespace

bool ExfatFamily::Scan(const ScanRequest& request) {
    const bool formatted = request.mode == SCAN_FORMATTED;
    const SectorRange range = formatted ? SettingsScanRange(request.settings, partition_) : SectorRange{};
    reader_.reset();
    return Keep(
        ScanExfatVolume(*devices_, partition_, request.settings.Filter, request.progress,
                        formatted ? ExfatScanMode::Formatted : ExfatScanMode::Deleted, range, &request.stop),
        scan_);
}

QString ExfatFamily::cellText(FileId file, int column) const {
    const ExfatFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return QString::fromStdString(node.displayName);
        case kColumnSize:
            return QString::fromStdString(ExfatSizeText(node.size));
        case kColumnAttributes:
            return QString::fromStdString(node.attributeText);
        case kColumnModified:
            return QString::fromStdString(ExfatTimeText(node.modified));
        case kColumnCreated:
            return QString::fromStdString(ExfatTimeText(node.created));
        case kColumnAccessed:
            return QString::fromStdString(ExfatTimeText(node.accessed));
        default:
            return {};
    }
}

SortKey ExfatFamily::sortKey(FileId file, int column) const {
    const ExfatFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return {0, LowerCaseUtf8(node.displayName)};
        case kColumnSize:
            return {node.size, {}};
        case kColumnAttributes:
            return {0, node.attributeText};
        case kColumnModified:
            return {MomentKey(node.modified), {}};
        case kColumnCreated:
            return {MomentKey(node.created), {}};
        case kColumnAccessed:
            return {MomentKey(node.accessed), {}};
        default:
            return {};
    }
}

FilterSubject ExfatFamily::filterSubject(FileId file) const {
    const ExfatFileNode& node = record(file);
    return {node.displayName, node.extension, node.created.dosDate(), node.size};
}

Result<std::vector<std::byte>> ExfatFamily::Read(FileId file, std::uint64_t maxBytes) {
    if (!reader_) {
        auto disk = devices_->OpenPhysicalDrive(partition_.diskNumber, AccessMode::ReadOnly);
        if (!disk) return Error::Io(kCannotOpenDevice);
        auto opened = ExfatExtractor::Open(std::move(*disk), partition_);
        if (!opened) return opened.error();
        reader_.emplace(std::move(*opened));
    }
    return ReadFoundFile(*reader_, record(file), maxBytes);
}

RecoveryReport ExfatFamily::Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                    const StopToken& stop) {
    auto result = RecoverExfatFiles(*scan_, *devices_, partition_, writer, progress, stop);
    if (!result) return {QString::fromStdString(result.error().message), true, {}, {}};
    return {{}, false, *result, result->failureLines};
}

}  // namespace lumacore::ui
