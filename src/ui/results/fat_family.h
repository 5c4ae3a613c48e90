#pragma once

#include <memory>
#include <optional>

#include "session/fat_scan.h"
#include "engines/fat/fat_extractor.h"
#include "ui/results/tree_result_family.h"

namespace lumacore::ui {

// The FAT page's engine: the deleted-file or formatted-drive scan, files read as one run from their
// first cluster, folders recreated as the tree shows them.
class FatFamily final : public TreeResultFamily<FileNodeList, FatFileNode> {
  public:
    using TreeResultFamily::TreeResultFamily;

    PreviewFamily previewFamily() const override { return PreviewFamily::Fat; }
    QString ScanTitle(int mode) const override;
    int ScanEstimateMode(int mode) const override;
    bool Scan(const ScanRequest& request) override;

    std::string fileName(FileId file) const override { return record(file).displayName; }
    std::uint64_t fileSize(FileId file) const override { return record(file).size; }
    QString cellText(FileId file, int column) const override;
    SortKey sortKey(FileId file, int column) const override;
    FilterSubject filterSubject(FileId file) const override;
    Result<std::vector<std::byte>> Read(FileId file, std::uint64_t maxBytes) override;

    NothingCheckedNotice NothingChecked() const override;
    RecoveryReport Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                           const StopToken& stop) override;

  private:
    std::vector<FatFileNode*> RecordsOf(const FatResultTree::Item& item) const override;
    bool& Flag(FatFileNode& node) const override { return node.checked; }
    Result<FatExtractor> OpenExtractor() const;

    std::unique_ptr<FatScan> scan_;
    std::optional<FatExtractor> reader_;  // opened by the first read
};

}  // namespace lumacore::ui
