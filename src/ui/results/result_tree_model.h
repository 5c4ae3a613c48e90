#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <unordered_set>

#include "ui/results/result_family.h"

namespace lumacore::ui {

// The folder tree of a result page (TTreeView_FAT and its siblings) as a model over the engine's own
// tree: no copy of the items, children made only when the view opens them. The check boxes are the
// tree items' own flags; a click on one is handed to the page (folderCheckClicked), which applies the
// check rules and repaints the views.
class ResultTreeModel final : public QAbstractItemModel {
    Q_OBJECT
  public:
    explicit ResultTreeModel(ResultFamily& family, QObject* parent = nullptr);

    // After a scan: the tree is there now.
    void Reload();

    QModelIndex IndexOf(FolderId folder) const;
    FolderId FolderAt(const QModelIndex& index) const;
    // The ticked folders whose box shows a partial tick (something below them is not ticked).
    void SetPartlyChecked(std::unordered_set<FolderId> folders) { partlyChecked_ = std::move(folders); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  Q_SIGNALS:
    void folderCheckClicked(FolderId folder, bool checked);

  private:
    ResultFamily& family_;
    QIcon drive_;
    QIcon folder_;
    QIcon deletedFolder_;
    std::unordered_set<FolderId> partlyChecked_;
};

}  // namespace lumacore::ui
