#pragma once

#include <memory>

#include "session/ext_scan.h"
#include "ui/results/tree_result_family.h"

namespace lumacore::ui {

// The EXT page's engine: deleted inodes (and the journal's older copies) under "Lost files", one flat
// list with one check rule, files written straight into the destination.
class ExtFamily final : public TreeResultFamily<ExtItemData, ExtFileNode> {
  public:
    using TreeResultFamily::TreeResultFamily;

    PreviewFamily previewFamily() const override { return PreviewFamily::Ext; }
    bool flatChecks() const override { return true; }
    QString ScanTitle(int mode) const override;
    bool Scan(const ScanRequest& request) override;

    std::string fileName(FileId file) const override;
    std::uint64_t fileSize(FileId file) const override { return record(file).inode.size; }
    QString cellText(FileId file, int column) const override;
    SortKey sortKey(FileId file, int column) const override;
    FilterSubject filterSubject(FileId file) const override;
    Result<std::vector<std::byte>> Read(FileId file, std::uint64_t maxBytes) override;

    NothingCheckedNotice NothingChecked() const override { return {}; }
    RecoveryReport Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                           const StopToken& stop) override;

  private:
    std::vector<ExtFileNode*> RecordsOf(const ExtResultTree::Item& item) const override;
    bool& Flag(ExtFileNode& node) const override { return node.checked; }

    std::unique_ptr<ExtScan> scan_;
};

}  // namespace lumacore::ui
