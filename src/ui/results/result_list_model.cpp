#include "ui/results/result_list_model.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace lumacore::ui {

namespace {

constexpr std::array<const char*, kColumnCount> kHeaders = {
    "Name", "Size", "Type", "Attributes", "Date Modified", "Date Created", "Date Accessed"};

}  // namespace

ResultListModel::ResultListModel(ResultFamily& family, QObject* parent)
    : QAbstractTableModel(parent), family_(family) {}

void ResultListModel::SetRows(std::vector<FileId> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    thumbnails_.clear();
    endResetModel();
}

FileTotals ResultListModel::RowTotals() const {
    FileTotals totals;
    for (FileId file : rows_) {
        ++totals.count;
        totals.bytes += family_.fileSize(file);
    }
    return totals;
}

QString ResultListModel::TypeName(FileId file) {
    return types_.ForName(family_.fileName(file)).typeName;
}

void ResultListModel::SortByColumn(int column) {
    if (column < 0 || column >= kColumnCount) return;
    const bool ascending = ascendingNext_[static_cast<std::size_t>(column)];
    ascendingNext_[static_cast<std::size_t>(column)] = !ascending;
    sortColumn_ = column;
    lastAscending_ = ascending;

    // One key per row, made once: the comparisons then touch no engine record.
    std::vector<SortKey> keys(rows_.size());
    if (column == kColumnType) {
        // A list has a handful of type names: each row gets the rank of its name, so a million rows
        // sort by number.
        std::vector<QString> names(rows_.size());
        std::map<QString, std::uint64_t> ranks;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            names[i] = TypeName(rows_[i]);
            ranks.emplace(names[i], 0);
        }
        std::uint64_t rank = 0;
        for (auto& entry : ranks) entry.second = rank++;
        for (std::size_t i = 0; i < rows_.size(); ++i) keys[i].number = ranks[names[i]];
    } else {
        for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = family_.sortKey(rows_[i], column);
    }
    std::vector<std::uint32_t> order(rows_.size());
    std::iota(order.begin(), order.end(), 0u);
    // Equal keys keep their order (the row index breaks ties), as a stable sort would, at the speed of
    // an unstable one.
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const SortKey& x = keys[a];
        const SortKey& y = keys[b];
        if (x.number != y.number) return ascending ? x.number < y.number : y.number < x.number;
        if (const int c = x.text.compare(y.text); c != 0) return ascending ? c < 0 : c > 0;
        return a < b;
    });

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) newRowOf[order[i]] = static_cast<int>(i);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after << this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column());
    std::vector<FileId> sorted(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) sorted[i] = rows_[order[i]];
    rows_ = std::move(sorted);
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultListModel::SetThumbnailMode(bool on) {
    if (thumbnailMode_ == on) return;
    thumbnailMode_ = on;
    RowsChanged(Qt::DecorationRole);
}

void ResultListModel::SetThumbnail(FileId file, const QImage& cell) {
    thumbnails_.insert(file, QPixmap::fromImage(cell));
}

void ResultListModel::RowsChanged(int role) {
    if (!rows_.empty()) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {role});
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FileId file = FileAt(index.row());
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == kColumnType) {
                const QString own = family_.cellText(file, kColumnType);
                return own.isEmpty() ? types_.ForName(family_.fileName(file)).typeName : own;
            }
            return family_.cellText(file, index.column());
        case Qt::CheckStateRole:
            if (index.column() != kColumnName) return {};
            return family_.fileChecked(file) ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole: {
            if (index.column() != kColumnName) return {};
            const auto& entry = types_.ForName(family_.fileName(file));
            if (!thumbnailMode_) return entry.icon;
            const auto drawn = thumbnails_.find(file);
            return drawn != thumbnails_.end() ? *drawn : entry.iconCell;
        }
        case Qt::TextAlignmentRole:
            return index.column() == kColumnSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        case Qt::ToolTipRole:
            return family_.cellText(file, kColumnName);
        default:
            return {};
    }
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != kColumnName) return false;
    Q_EMIT fileCheckClicked(FileAt(index.row()), value.toInt() == Qt::Checked);
    return true;
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole && section == kColumnSize)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kColumnName) f |= Qt::ItemIsUserCheckable;
    return f;
}

}  // namespace lumacore::ui
