#include "ui/widgets/disk_list_box.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "core/size_text.h"
#include "disk/drive_tree_text.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

constexpr int kRemovableRole = Qt::UserRole + 1;
constexpr int kModelRole = Qt::UserRole + 2;
constexpr int kDetailRole = Qt::UserRole + 3;

// The second line of an item: the bus (images have none) and the size.
QString DetailLine(const DiskInfo& disk) {
    const QString bus = QString::fromLatin1(BusTypeName(disk.busType)).trimmed();
    const QString size = QStringLiteral("Size : %1").arg(QString::fromStdString(SizeText(disk.sizeBytes)));
    return bus.isEmpty() ? size : QStringLiteral("BusType : %1   \u2022   %2").arg(bus, size);
}

// An item on two lines beside the 32 x 32 icon: the model, then bus and size in a quieter face, so
// that the whole of it fits the list's width; what still does not fit is elided (the tip has it all).
// A selected item in the highlight colours.
void PaintDiskItem(QPainter& p, const QRect& rect, const QModelIndex& index, bool selected,
                   const QPalette& palette, qreal dpr) {
    p.save();
    if (selected) p.fillRect(rect, palette.highlight());
    const bool removable = index.data(kRemovableRole).toBool();
    const QRect iconRect(rect.left() + 2, rect.top() + (rect.height() - 32) / 2, 32, 32);
    p.drawPixmap(iconRect,
                 skin::Picture(removable ? QStringLiteral("tree-removable") : QStringLiteral("tree-disk"),
                               QSize(32, 32), dpr));
    const QColor text = selected ? palette.highlightedText().color() : palette.text().color();
    const QRect textRect = rect.adjusted(40, 0, -4, 0);
    const QString model = index.data(kModelRole).toString();
    const QString detail = index.data(kDetailRole).toString();
    if (model.isEmpty()) {
        p.setFont(skin::Font(11));
        p.setPen(text);
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                              textRect.width()));
        p.restore();
        return;
    }
    const QRect upper(textRect.left(), textRect.center().y() - 15, textRect.width(), 15);
    const QRect lower(textRect.left(), textRect.center().y() + 1, textRect.width(), 14);
    p.setFont(skin::Font(12, QFont::DemiBold));
    p.setPen(text);
    p.drawText(upper, Qt::AlignLeft | Qt::AlignBottom,
               p.fontMetrics().elidedText(model, Qt::ElideMiddle, upper.width()));
    p.setFont(skin::Font(11));
    p.setPen(selected ? text : skin::colour::kTextMuted);
    p.drawText(lower, Qt::AlignLeft | Qt::AlignTop,
               p.fontMetrics().elidedText(detail, Qt::ElideRight, lower.width()));
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
        if (index.data(kModelRole).toString().isEmpty())
            return QSize(QStyledItemDelegate::sizeHint(option, index).width() + 40, CDiskListBox::kItemHeight);
        // The longer of the two lines.
        const int model =
            QFontMetrics(skin::Font(12, QFont::DemiBold)).horizontalAdvance(index.data(kModelRole).toString());
        const int detail = QFontMetrics(skin::Font(11)).horizontalAdvance(index.data(kDetailRole).toString());
        return QSize(40 + std::max(model, detail) + 8, CDiskListBox::kItemHeight);
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
        setItemData(count() - 1, QString::fromStdString(disks[i].Model()), kModelRole);
        setItemData(count() - 1, DetailLine(disks[i]), kDetailRole);
        setItemData(count() - 1, itemText(count() - 1), Qt::ToolTipRole);
    }
    setToolTip(currentText());
}

QString CDiskListBox::modelLine(int index) const {
    return itemData(index, kModelRole).toString();
}

QString CDiskListBox::detailLine(int index) const {
    return itemData(index, kDetailRole).toString();
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
