#include "ui/results/fat_family.h"

#include "core/recovery_settings.h"
#include "core/scan_mode.h"
#include "engines/fat/fat_row_text.h"
#include "session/found_file_source.h"
#include "ui/results/result_texts.h"
#include "ui/shell.h"

namespace lumacore::ui {

bool FatFamily::Scan(const ScanRequest& request) {
    const RecoverySettings& settings = request.settings;
    const bool formatted = request.mode == SCAN_FORMATTED;
    const SectorRange range = formatted ? SettingsScanRange(settings, partition_) : SectorRange{};
    return Keep(
        ScanFatVolume(*devices_, partition_, settings.Filter, request.progress,
                      formatted ? FatScanMode::Formatted : FatScanMode::Deleted, range, &request.stop),
        scan_);
}

QString FatFamily::cellText(FileId file, int column) const {
    const FatFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return QString::fromStdString(node.displayName);
        case kColumnSize:
            return QString::fromStdString(FatSizeText(node.size));
        case kColumnAttributes: {
            const std::string note = FatDataNote(node);
            return QString::fromStdString(note.empty() ? node.attributeText
                                                       : node.attributeText + " - " + note);
        }
        case kColumnModified:
            return QString::fromStdString(FatDateTimeText(node.lastWriteDate, node.lastWriteTime));
        case kColumnCreated:
            return QString::fromStdString(FatDateTimeText(node.creationDate, node.creationTime));
        case kColumnAccessed:
            return QString::fromStdString(FatAccessDateText(node.lastAccessDate));
        default:
            return {};
    }
}

SortKey FatFamily::sortKey(FileId file, int column) const {
    const FatFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return {0, LowerCaseUtf8(node.displayName)};
        case kColumnSize:
            return {node.size, {}};
        case kColumnAttributes:
            return {0, node.attributeText};
        // Date in the high half, time in the low half: the order of the moments.
        case kColumnModified:
            return {std::uint64_t{node.lastWriteDate} << 16 | node.lastWriteTime, {}};
        case kColumnCreated:
            return {std::uint64_t{node.creationDate} << 16 | node.creationTime, {}};
        case kColumnAccessed:
            return {node.lastAccessDate, {}};
        default:
            return {};
    }
}

FilterSubject FatFamily::filterSubject(FileId file) const {
    const FatFileNode& node = record(file);
    return {node.displayName, node.extension, node.creationDate, node.size};
}

Result<FatExtractor> FatFamily::OpenExtractor() const {
    auto disk = devices_->OpenPhysicalDrive(partition_.diskNumber, AccessMode::ReadOnly);
    if (!disk) return Error::Io(kCannotOpenDevice);
    return FatExtractor::Open(std::move(*disk), partition_);
}

Result<std::vector<std::byte>> FatFamily::Read(FileId file, std::uint64_t maxBytes) {
    if (!reader_) {
        auto opened = OpenExtractor();
        if (!opened) return opened.error();
        reader_.emplace(std::move(*opened));
    }
    return ReadFoundFile(*reader_, record(file), maxBytes);
}

RecoveryReport FatFamily::Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) {
    auto result = RecoverFatFiles(*scan_, *devices_, partition_, writer, progress, stop);
    if (!result) return {QString::fromStdString(result.error().message), true, {}, {}};
    return {{}, false, *result, result->failureLines};
}

}  // namespace lumacore::ui
