#pragma once

#include <memory>

#include "session/raw_scan.h"
#include "ui/results/tree_result_family.h"

namespace lumacore::ui {

// The RAW page's engine: files carved by their signatures, one tree item per kind, each file written
// into a folder named by its extension; failures gathered into one report.
class RawFamily final : public TreeResultFamily<std::vector<std::uint32_t>, RawFileNode> {
  public:
    using TreeResultFamily::TreeResultFamily;

    // The extensions to carve (those ticked in the options dialog); empty carves every type.
    void SetTypes(std::vector<std::string> types) { types_ = std::move(types); }
    // The signature list with the options dialog's ticks; when set it is searched as it is.
    void SetSignatures(std::vector<SignatureEntry> entries) { entries_ = std::move(entries); }

    PreviewFamily previewFamily() const override { return PreviewFamily::Raw; }
    QString ScanTitle(int mode) const override;
    bool Scan(const ScanRequest& request) override;

    std::string fileName(FileId file) const override { return record(file).name; }
    std::uint64_t fileSize(FileId file) const override { return record(file).length; }
    QString cellText(FileId file, int column) const override;
    SortKey sortKey(FileId file, int column) const override;
    FilterSubject filterSubject(FileId file) const override;
    Result<std::vector<std::byte>> Read(FileId file, std::uint64_t maxBytes) override;

    // The selection list: every selected file, wherever its folder is.
    bool HasRecoverableSelection() const override { return AnyFileChecked(); }
    NothingCheckedNotice NothingChecked() const override;
    RecoveryReport Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                           const StopToken& stop) override;

  private:
    std::vector<RawFileNode*> RecordsOf(const RawResultTree::Item& item) const override;
    bool& Flag(RawFileNode& node) const override { return node.selected; }

    std::vector<std::string> types_;
    std::vector<SignatureEntry> entries_;
    std::unique_ptr<RawScan> scan_;
};

}  // namespace lumacore::ui
