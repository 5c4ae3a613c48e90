#include "ui/results/result_tree_model.h"

#include <QFileIconProvider>

#include "ui/skin/skin.h"

namespace lumacore::ui {

ResultTreeModel::ResultTreeModel(ResultFamily& family, QObject* parent)
    : QAbstractItemModel(parent), family_(family) {
    const QFileIconProvider provider;
    drive_ = skin::PictureIcon(QStringLiteral("tree-partition"));
    folder_ = provider.icon(QAbstractFileIconProvider::Folder);
    // A deleted folder: the folder drawn faded.
    deletedFolder_ = QIcon(folder_.pixmap(16, 16, QIcon::Disabled));
}

void ResultTreeModel::Reload() {
    beginResetModel();
    endResetModel();
}

QModelIndex ResultTreeModel::IndexOf(FolderId folder) const {
    if (folder == kNoFolder) return {};
    const FolderId up = family_.parent(folder);
    const int row = up == kNoFolder ? 0 : family_.rowInParent(folder);
    return createIndex(row, 0, static_cast<quintptr>(folder));
}

FolderId ResultTreeModel::FolderAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<FolderId>(index.internalId()) : kNoFolder;
}

QModelIndex ResultTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) {
        return row == 0 && family_.root() != kNoFolder
                   ? createIndex(0, 0, static_cast<quintptr>(family_.root()))
                   : QModelIndex();
    }
    const auto& children = family_.children(FolderAt(parent));
    if (row >= static_cast<int>(children.size())) return {};
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<std::size_t>(row)]));
}

QModelIndex ResultTreeModel::parent(const QModelIndex& child) const {
    const FolderId folder = FolderAt(child);
    if (folder == kNoFolder) return {};
    return IndexOf(family_.parent(folder));
}

int ResultTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return family_.root() == kNoFolder ? 0 : 1;
    if (parent.column() != 0) return 0;
    return static_cast<int>(family_.children(FolderAt(parent)).size());
}

int ResultTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant ResultTreeModel::data(const QModelIndex& index, int role) const {
    const FolderId folder = FolderAt(index);
    if (folder == kNoFolder) return {};
    switch (role) {
        case Qt::DisplayRole:
            return family_.folderText(folder);
        case Qt::CheckStateRole:
            if (!family_.folderChecked(folder)) return Qt::Unchecked;
            return partlyChecked_.count(folder) != 0 ? Qt::PartiallyChecked : Qt::Checked;
        case Qt::DecorationRole: {
            if (family_.parent(folder) == kNoFolder) return drive_;
            const int image = family_.folderImage(folder);
            return image == 3 || image == 4 ? deletedFolder_ : folder_;
        }
        default:
            return {};
    }
}

bool ResultTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const FolderId folder = FolderAt(index);
    if (folder == kNoFolder || role != Qt::CheckStateRole) return false;
    Q_EMIT folderCheckClicked(folder, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ResultTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

}  // namespace lumacore::ui
