#pragma once

#include <memory>
#include <optional>

#include "engines/fat/fat_extractor.h"
#include "session/fat_scan.h"
#include "ui/results/node_tree_family.h"

namespace lumacore::ui {

// The FAT page's engine: the deleted-file or formatted-drive scan, files read as one run from their
// first cluster, folders recreated as the tree shows them.
class FatFamily final : public NodeTreeFamily<FileNodeList, FatFileNode> {
  public:
    using NodeTreeFamily::NodeTreeFamily;

    bool Scan(const ScanRequest& request) override;

    QString cellText(FileId file, int column) const override;
    SortKey sortKey(FileId file, int column) const override;
    FilterSubject filterSubject(FileId file) const override;
    Result<std::vector<std::byte>> Read(FileId file, std::uint64_t maxBytes) override;

    RecoveryReport Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                           const StopToken& stop) override;

  private:
    Result<FatExtractor> OpenExtractor() const;

    std::unique_ptr<FatScan> scan_;
    std::optional<FatExtractor> reader_;  // opened by the first read
};

}  // namespace lumacore::ui
