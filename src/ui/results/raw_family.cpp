#include "ui/results/raw_family.h"

#include "core/recovery_settings.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "session/found_file_source.h"
#include "session/recover_result.h"
#include "session/sector_range.h"
#include "ui/results/result_texts.h"

namespace lumacore::ui {

QString RawFamily::ScanTitle(int) const {
    return QString::fromLatin1(kScanningRaw);
}

bool RawFamily::Scan(const ScanRequest& request) {
    const RecoverySettings& settings = request.settings;
    RawScanRequest carve;
    carve.source = partition_;
    // The drive page's range is absolute; the carver counts from the source's first sector.
    const SectorRange range = SettingsScanRange(settings, partition_);
    carve.start = range.start;
    carve.end = range.end;
    carve.types = types_;
    carve.entries = entries_;
    if (settings.RawSizeLimit > 0) carve.sizeLimitKb = static_cast<std::uint32_t>(settings.RawSizeLimit);
    return Keep(ScanRaw(*devices_, carve, request.progress, &request.stop), scan_);
}

std::vector<RawFileNode*> RawFamily::RecordsOf(const RawResultTree::Item& item) const {
    std::vector<RawFileNode*> out;
    const auto& found = scan_->carver->found();
    for (std::uint32_t index : item.data) {
        if (index < found.size()) out.push_back(found[index].get());
    }
    return out;
}

QString RawFamily::cellText(FileId file, int column) const {
    const RawFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return QString::fromStdString(node.name);
        // Carved files have no attributes and no times; their size reads as on the NTFS page.
        case kColumnSize:
            return QString::fromStdString(NtfsSizeText(node.length));
        default:
            return {};
    }
}

SortKey RawFamily::sortKey(FileId file, int column) const {
    const RawFileNode& node = record(file);
    switch (column) {
        case kColumnName:
            return {0, LowerCaseUtf8(node.name)};
        case kColumnSize:
            return {node.length, {}};
        // Otherwise the order found, which is the order on the disk.
        default:
            return {node.firstSector, {}};
    }
}

FilterSubject RawFamily::filterSubject(FileId file) const {
    const RawFileNode& node = record(file);
    return {node.name, node.extension, 0, node.length};
}

Result<std::vector<std::byte>> RawFamily::Read(FileId file, std::uint64_t maxBytes) {
    return ReadFoundFile(*scan_->carver, record(file), maxBytes);
}

NothingCheckedNotice RawFamily::NothingChecked() const {
    return {QString::fromLatin1(kRawNothingSelectedCaption), QString::fromLatin1(kRawNothingSelected), true};
}

RecoveryReport RawFamily::Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                  const StopToken& stop) {
    const RawRecoverRunResult result = RecoverRaw(*scan_, writer, progress, stop);
    // The engine's own report lines, in the words its page has always used.
    std::vector<std::string> failures = result.reportLines;
    for (std::string& line : failures) {
        while (!line.empty() && line.back() == '\n') line.pop_back();
    }
    return {{}, false, result, failures.empty() ? FailureLines({}, writer) : failures};
}

}  // namespace lumacore::ui
