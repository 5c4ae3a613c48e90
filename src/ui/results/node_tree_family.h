#pragma once

#include <string>
#include <vector>

#include "core/scan_mode.h"
#include "ui/results/result_texts.h"
#include "ui/results/tree_result_family.h"

namespace lumacore::ui {

// What the FAT and exFAT pages share: folders that own their file nodes, the deleted-file and
// formatted-drive scans, the FAT page's preview, and the FAT page's word when nothing is ticked.
template <typename NodeList, typename Node>
class NodeTreeFamily : public TreeResultFamily<NodeList, Node> {
    using Base = TreeResultFamily<NodeList, Node>;

  public:
    using Base::Base;

    PreviewFamily previewFamily() const override { return PreviewFamily::Fat; }
    QString ScanTitle(int mode) const override {
        return QString::fromLatin1(mode == SCAN_FORMATTED ? kScanningFormatted : kScanningDeleted);
    }
    int ScanEstimateMode(int mode) const override {
        // The deleted-file scan's count moves in bursts (one per folder).
        return mode == SCAN_FORMATTED ? 0 : 2;
    }
    std::string fileName(FileId file) const override { return this->record(file).displayName; }
    std::uint64_t fileSize(FileId file) const override { return this->record(file).size; }
    NothingCheckedNotice NothingChecked() const override {
        return {QString(), QString::fromLatin1(kPleaseCheckFiles), false};
    }

  protected:
    std::vector<Node*> RecordsOf(const typename Base::Tree::Item& item) const override {
        std::vector<Node*> out;
        out.reserve(item.data.size());
        for (const auto& node : item.data) out.push_back(node.get());
        return out;
    }
    bool& Flag(Node& node) const override { return node.checked; }
};

}  // namespace lumacore::ui
