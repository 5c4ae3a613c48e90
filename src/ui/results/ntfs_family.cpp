#include "ui/results/ntfs_family.h"

#include "core/recovery_settings.h"
#include "core/scan_mode.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "ui/results/result_texts.h"

namespace lumacore::ui {

QString NtfsFamily::ScanTitle(int mode) const {
    return QString::fromLatin1(mode == SCAN_FORMATTED ? kScanningFormatted : kScanningDeleted);
}

bool NtfsFamily::Scan(const ScanRequest& request) {
    const bool formatted = request.mode == SCAN_FORMATTED;
    return Keep(ScanNtfsVolume(*devices_, partition_, request.settings.Filter, request.progress,
                               formatted ? NtfsScanMode::Formatted : NtfsScanMode::Deleted,
                               formatted ? SettingsScanRange(request.settings, partition_) : SectorRange{},
                               &request.stop),
                scan_);
}

std::vector<NtfsFileNode*> NtfsFamily::RecordsOf(const NtfsResultTree::Item& item) const {
    std::vector<NtfsFileNode*> out;
    const NodeList& nodes = scan_->volume->nodes();
    for (std::uint32_t index : item.data.nodes) {
        if (index < nodes.size() && nodes[index]) out.push_back(nodes[index].get());
    }
    return out;
}

QString NtfsFamily::cellText(FileId file, int column) const {
    const NtfsFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return QString::fromStdString(node.name);
        case kColumnSize:
            return QString::fromStdString(NtfsSizeText(node.size));
        case kColumnAttributes:
            return QString::fromStdString(NtfsAttributeText(node.attributes, node.deleted));
        case kColumnModified:
            return QString::fromStdString(NtfsTimeText(node.modificationTime));
        case kColumnCreated:
            return QString::fromStdString(NtfsTimeText(node.creationTime));
        case kColumnAccessed:
            return QString::fromStdString(NtfsTimeText(node.accessTime));
        default:
            return {};
    }
}

SortKey NtfsFamily::sortKey(FileId file, int column) const {
    const NtfsFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return {0, LowerCaseUtf8(node.name)};
        case kColumnSize:
            return {node.size, {}};
        case kColumnAttributes:
            return {node.attributes, {}};
        case kColumnModified:
            return {node.modificationTime, {}};
        case kColumnCreated:
            return {node.creationTime, {}};
        case kColumnAccessed:
            return {node.accessTime, {}};
        default:
            return {};
    }
}

FilterSubject NtfsFamily::filterSubject(FileId file) const {
    return NtfsFilterSubject(record(file));
}

Result<std::vector<std::byte>> NtfsFamily::Read(FileId file, std::uint64_t maxBytes) {
    return scan_->volume->ReadFileData(record(file), maxBytes);
}

NothingCheckedNotice NtfsFamily::NothingChecked() const {
    return {QString::fromLatin1(kNtfsReportCaption), QString::fromLatin1(kNtfsNothingSelected), true};
}

RecoveryReport NtfsFamily::Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                   const StopToken& stop) {
    const RecoverResult result = RecoverNtfsFiles(*scan_, writer, progress, stop);
    return {{}, false, result, result.failureLines};
}

}  // namespace lumacore::ui
