#include "ui/results/ext_family.h"

#include "core/recovery_settings.h"
#include "engines/ext/ext_row_text.h"
#include "session/found_file_source.h"
#include "session/recover_result.h"
#include "ui/results/result_texts.h"

namespace lumacore::ui {

QString ExtFamily::ScanTitle(int) const {
    return QString::fromLatin1(kScanningDeleted);
}

bool ExtFamily::Scan(const ScanRequest& request) {
    return Keep(
        ScanExtVolume(*devices_, partition_, request.settings.Filter, request.progress, &request.stop),
        scan_);
}

std::vector<ExtFileNode*> ExtFamily::RecordsOf(const ExtResultTree::Item& item) const {
    return item.data.files;
}

std::string ExtFamily::fileName(FileId file) const {
    return ExtRowName(record(file));
}

QString ExtFamily::cellText(FileId file, int column) const {
    const ExtFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return QString::fromStdString(ExtRowName(node));
        case kColumnSize:
            return QString::fromStdString(ExtSizeText(node.inode.size));
        case kColumnType:
            return QString::fromStdString(node.typeText);
        case kColumnAttributes:
            return QString::fromStdString(ExtPermissionText(node.inode.mode));
        case kColumnModified:
            return QString::fromStdString(ExtTimeText(node.inode.mtime));
        case kColumnCreated:
            return QString::fromStdString(ExtTimeText(node.inode.ctime));
        case kColumnAccessed:
            return QString::fromStdString(ExtTimeText(node.inode.atime));
        default:
            return {};
    }
}

SortKey ExtFamily::sortKey(FileId file, int column) const {
    const ExtFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return {0, LowerCaseUtf8(ExtRowName(node))};
        case kColumnSize:
            return {node.inode.size, {}};
        case kColumnAttributes:
            return {node.inode.mode, {}};
        case kColumnModified:
            return {node.inode.mtime, {}};
        case kColumnCreated:
            return {node.inode.ctime, {}};
        case kColumnAccessed:
            return {node.inode.atime, {}};
        default:
            return {};
    }
}

FilterSubject ExtFamily::filterSubject(FileId file) const {
    const ExtFileNode& node = record(file);
    return {node.name, node.typeText, ExtDosDate(node.inode.ctime), node.inode.size};
}

Result<std::vector<std::byte>> ExtFamily::Read(FileId file, std::uint64_t maxBytes) {
    return ReadFoundFile(*scan_->engine, record(file), maxBytes);
}

RecoveryReport ExtFamily::Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) {
    const ExtRecoverRunResult result = RecoverExtFiles(*scan_, writer, progress, stop);
    return {{}, false, result.counts, FailureLines(result.unmapped, writer)};
}

}  // namespace lumacore::ui
