#pragma once

#include <memory>
#include <optional>

#include "engines/exfat/exfat_extractor.h"
#include "session/exfat_scan.h"
#include "ui/results/node_tree_family.h"

namespace lumacore::ui {

// The exFAT page's engine: the FAT page's rows and behaviour over the exFAT scans, files read through
// the extractor (which follows the FAT chain or the contiguous run and skips clusters in use).
class ExfatFamily final : public NodeTreeFamily<ExfatFileNodeList, ExfatFileNode> {
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
    std::unique_ptr<ExfatScan> scan_;
    std::optional<ExfatExtractor> reader_;  // opened by the first read
};

}  // namespace lumacore::ui
