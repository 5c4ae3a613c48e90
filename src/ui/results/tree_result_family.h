#pragma once

#include <memory>
#include <vector>

#include "core/partition_info.h"
#include "core/result_tree.h"
#include "platform/device_map.h"
#include "ui/results/result_family.h"

namespace lumacore::ui {

// The part of every family that is the same: the engine's ResultTree<Payload> seen as folders, and the
// records listed by its items gathered into one table once the scan has ended. A family supplies the
// records of an item and the record's check flag; the rest of the tree is answered here.
template <typename Payload, typename Record>
class TreeResultFamily : public ResultFamily {
  public:
    using Tree = ResultTree<Payload>;

    TreeResultFamily(std::shared_ptr<const DeviceMap> devices, const PartitionInfo& partition)
        : devices_(std::move(devices)), partition_(partition) {}

    FolderId root() const override { return root_; }
    const std::vector<FolderId>& children(FolderId folder) const override {
        return tree_->item(folder).children;
    }
    FolderId parent(FolderId folder) const override { return tree_->item(folder).parent; }
    int rowInParent(FolderId folder) const override { return rowInParent_[folder]; }
    QString folderText(FolderId folder) const override {
        return QString::fromStdString(tree_->item(folder).text);
    }
    int folderImage(FolderId folder) const override { return tree_->item(folder).image; }
    bool folderExpanded(FolderId folder) const override { return tree_->item(folder).expanded; }
    FolderId initialFolder() const override {
        const FolderId hint = tree_ ? tree_->selected() : kNoFolder;
        return hint != kNoFolder && tree_->valid(hint) ? hint : root_;
    }
    bool folderChecked(FolderId folder) const override { return tree_->item(folder).checked; }
    void setFolderChecked(FolderId folder, bool checked) override { tree_->item(folder).checked = checked; }

    std::size_t fileCount() const override { return records_.size(); }
    const std::vector<FileId>& filesOf(FolderId folder) const override { return folderFiles_[folder]; }
    bool fileChecked(FileId file) const override { return Flag(*records_[file]); }
    void setFileChecked(FileId file, bool checked) override { Flag(*records_[file]) = checked; }

  protected:
    // The records an item lists, in list order.
    virtual std::vector<Record*> RecordsOf(const typename Tree::Item& item) const = 0;
    virtual bool& Flag(Record& record) const = 0;

    Record& record(FileId file) const { return *records_[file]; }

    // Called by Scan once the engine's tree is complete (the tree is kept by the scan session).
    void Index(Tree* tree, FolderId root) {
        tree_ = tree;
        root_ = tree && tree->valid(root) ? root : kNoFolder;
        records_.clear();
        folderFiles_.assign(tree ? tree->capacity() : 0, {});
        rowInParent_.assign(tree ? tree->capacity() : 0, 0);
        if (root_ == kNoFolder) return;
        tree->BreadthFirst(root_, [&](FolderId id) {
            const auto& item = tree->item(id);
            for (std::size_t i = 0; i < item.children.size(); ++i)
                rowInParent_[item.children[i]] = static_cast<int>(i);
            for (Record* r : RecordsOf(item)) {
                folderFiles_[id].push_back(static_cast<FileId>(records_.size()));
                records_.push_back(r);
            }
            return true;
        });
    }

    // Takes a finished scan session (anything with `tree` and `root`) into `kept` and indexes it; an
    // engine that could not read the volume leaves an empty tree.
    template <typename Session>
    bool Keep(Result<std::unique_ptr<Session>> scan, std::unique_ptr<Session>& kept) {
        if (!scan) {
            Index(nullptr, kNoFolder);
            return false;
        }
        kept = std::move(*scan);
        Index(&kept->tree, kept->root);
        return true;
    }

    std::shared_ptr<const DeviceMap> devices_;
    PartitionInfo partition_;

  private:
    Tree* tree_ = nullptr;
    FolderId root_ = kNoFolder;
    std::vector<Record*> records_;
    std::vector<std::vector<FileId>> folderFiles_;
    std::vector<int> rowInParent_;
};

}  // namespace lumacore::ui
