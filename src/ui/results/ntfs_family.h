#pragma once

#include <memory>

#include "session/ntfs_scan.h"
#include "ui/results/tree_result_family.h"

namespace lumacore::ui {

// The NTFS page's engine: the MFT scan, files read through their run lists, each written into its
// stored folder chain; failures gathered into one report.
class NtfsFamily final : public TreeResultFamily<NtfsFolderData, NtfsFileNode> {
  public:
    using TreeResultFamily::TreeResultFamily;

    PreviewFamily previewFamily() const override { return PreviewFamily::Ntfs; }
    QString ScanTitle(int mode) const override;
    bool Scan(const ScanRequest& request) override;

    std::string fileName(FileId file) const override { return record(file).name; }
    std::uint64_t fileSize(FileId file) const override { return record(file).size; }
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
    std::vector<NtfsFileNode*> RecordsOf(const NtfsResultTree::Item& item) const override;
    bool& Flag(NtfsFileNode& node) const override { return node.selected; }

    std::unique_ptr<NtfsScan> scan_;
};

}  // namespace lumacore::ui
