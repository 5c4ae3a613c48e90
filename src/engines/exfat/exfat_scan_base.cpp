#include "engines/exfat/exfat_scan_base.h"

#include "core/filter.h"
#include "core/size_text.h"

namespace lumacore {

ExfatResultTree::ItemId ExfatScanBase::InsertRoot() {
    const auto root = tree_.InsertLast(ExfatResultTree::kNoItem,
                                       Format("exFAT - Logical Disk (%c:)", volume_.driveLetter_));
    volume_.rootItem_ = root;
    return root;
}

bool ExfatScanBase::AddFile(ExfatResultTree::ItemId folder, const ExfatEntrySet& set) {
    std::unique_ptr<ExfatFileNode> node = MakeExfatFileNode(set);
    if (!PassesFilter(FilterSubject{node->displayName, node->extension, node->created.dosDate(), node->size},
                      filter_)) {
        return false;
    }
    tree_.item(folder).data.push_back(std::move(node));
    ++acceptedFiles_;
    return true;
}

void ExfatScanBase::PruneAndSelect(ExfatResultTree::ItemId root) {
    tree_.Prune(root, [](const ExfatFileNodeList& files) { return files.size(); });
    if (!tree_.item(root).children.empty()) {
        tree_.Select(root);
        tree_.Expand(root);
    }
}

}  // namespace lumacore
