#include "ui/widgets/disk_list_box.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "disk/drive_tree_text.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

constexpr int kRemovableRole = Qt::UserRole + 1;

// An item: the 32 x 32 icon, then the text; a selected item in the highlight colours.
void PaintDiskItem(QPainter& p, const QRect& rect, const QModelIndex& index, bool selected,
                   const QPalette& palette, qreal dpr) {
    p.save();
    if (selected) p.fillRect(rect, palette.highlight());
    const bool removable = index.data(kRemovableRole).toBool();
    const QRect iconRect(rect.left() + 2, rect.top() + (rect.height() - 32) / 2, 32, 32);
    p.drawPixmap(iconRect,
                 skin::Picture(removable ? QStringLiteral("tree-removable") : QStringLiteral("tree-disk"),
                               QSize(32, 32), dpr));
    p.setFont(skin::Font(11));
    p.setPen(selected ? palette.highlightedText().color() : palette.text().color());
    const QRect textRect = rect.adjusted(40, 0, -4, 0);
    p.drawText(
        textRect, Qt::AlignLeft | Qt::AlignVCenter,
        p.fontMetrics().elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width()));
    p.restore();
}

class DiskItemDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        PaintDiskItem(*painter, option.rect, index, option.state.testFlag(QStyle::State_Selected),
                      option.palette, painter->device()->devicePixelRatioF());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width() + 40, CDiskListBox::kItemHeight);
    }
};

}  // namespace

CDiskListBox::CDiskListBox(QWidget* parent) : QComboBox(parent) {
    setObjectName(QStringLiteral("DiskList"));
    setItemDelegate(new DiskItemDelegate(this));
    setMinimumHeight(kItemHeight + 6);
    // The text is long; the whole of it shows as a tip.
    connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

void CDiskListBox::SetDisks(const std::vector<DiskInfo>& disks) {
    const QSignalBlocker blocker(this);
    clear();
    for (std::size_t i = 0; i < disks.size(); ++i) {
        addItem(QString::fromStdString(DiskListItemText(disks[i])), static_cast<int>(i));
        setItemData(count() - 1, disks[i].removable, kRemovableRole);
        setItemData(count() - 1, itemText(count() - 1), Qt::ToolTipRole);
    }
    setToolTip(currentText());
}

void CDiskListBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    PaintDiskItem(painter, field, model()->index(currentIndex(), 0), false, palette(), devicePixelRatioF());
}

}  // namespace lumacore::ui
