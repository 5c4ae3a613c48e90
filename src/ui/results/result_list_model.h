#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <array>
#include <vector>

#include "ui/results/file_type_catalog.h"
#include "ui/results/result_family.h"

namespace lumacore::ui {

// The file list of a result page (TListView_FAT and its siblings): one row per record of the selected
// folder, the seven columns of every family, sorting by an index permutation (first click on a column
// sorts descending, the next ascending), the records' own check flags as the rows' check boxes, and the
// thumbnails of the icon view. A click on a row's check box is handed to the page (fileCheckClicked).
class ResultListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ResultListModel(ResultFamily& family, QObject* parent = nullptr);

    // The rows, in the order given; the thumbnails drawn for the previous rows are forgotten.
    void SetRows(std::vector<FileId> rows);
    const std::vector<FileId>& rows() const { return rows_; }
    FileId FileAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    FileTotals RowTotals() const;

    // Sorts by `column` in the direction that column's next click gives, and flips it.
    void SortByColumn(int column);
    int sortColumn() const { return sortColumn_; }
    bool lastSortAscending() const { return lastAscending_; }

    // The icon view shows thumbnails (or icon cells) instead of the small icons.
    void SetThumbnailMode(bool on);
    void SetThumbnail(FileId file, const QImage& cell);
    bool HasThumbnail(FileId file) const { return thumbnails_.contains(file); }
    int thumbnailCount() const { return static_cast<int>(thumbnails_.size()); }
    // Every row's `role` may have changed (check boxes after the check rules, thumbnails once drawn).
    void RowsChanged(int role);

    QString TypeName(FileId file);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  Q_SIGNALS:
    void fileCheckClicked(FileId file, bool checked);

  private:
    ResultFamily& family_;
    mutable FileTypeCatalog types_;
    std::vector<FileId> rows_;
    std::array<bool, kColumnCount> ascendingNext_{};
    int sortColumn_ = -1;
    bool lastAscending_ = false;
    bool thumbnailMode_ = false;
    QHash<FileId, QPixmap> thumbnails_;
};

}  // namespace lumacore::ui
