#include "ui/widgets/candidate_list.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include "partition/partition_search.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

constexpr int kRowHeight = 22;
constexpr int kTextsRole = Qt::UserRole + 1;

class CandidateRowDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        p->save();
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        if (selected) p->fillRect(option.rect, option.palette.highlight());
        const QRect iconRect(option.rect.left() + 6, option.rect.top() + (option.rect.height() - 16) / 2, 16,
                             16);
        p->drawPixmap(iconRect, skin::Picture(QStringLiteral("tree-partition"), QSize(16, 16),
                                              p->device()->devicePixelRatioF()));
        p->setFont(skin::Font(11));
        p->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
        const QStringList texts = index.data(kTextsRole).toStringList();
        for (int i = 0; i < texts.size() && i < 3; ++i) {
            const int left = option.rect.left() + CCandidateList::kTextColumns[i];
            const int right =
                i < 2 ? option.rect.left() + CCandidateList::kTextColumns[i + 1] - 4 : option.rect.right();
            p->drawText(QRect(left, option.rect.top(), right - left, option.rect.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
        }
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(0, kRowHeight);
    }
};

}  // namespace

QStringList CandidateRowTexts(const PartitionInfo& candidate) {
    return {QStringLiteral("%1:  %2")
                .arg(QLatin1Char(candidate.driveLetter))
                .arg(QString::fromStdString(candidate.FsName())),
            QStringLiteral("Start Sector : %1").arg(candidate.startSector),
            QStringLiteral("End Sector : %1").arg(LastSectorOf(candidate))};
}

CCandidateList::CCandidateList(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("CandidateList"));
    setItemDelegate(new CandidateRowDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // The rows are drawn to the list's width.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void CCandidateList::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (count() > 0) return;
    // An empty list says where its rows come from.
    QPainter p(viewport());
    p.setFont(skin::Font(12));
    p.setPen(skin::colour::kTextMuted);
    p.drawText(viewport()->rect().adjusted(24, 0, -24, 0), Qt::AlignCenter | Qt::TextWordWrap,
               QStringLiteral(
                   "No candidates yet. Double-click \u201cAuto Scan ...\u201d on the right to look for lost "
                   "partitions, \u201cDeep Scan ...\u201d to look harder, or a backup file to load its "
                   "partitions."));
}

void CCandidateList::AddCandidate(const PartitionInfo& candidate, int index) {
    const QStringList texts = CandidateRowTexts(candidate);
    auto* item = new QListWidgetItem(texts.join(QStringLiteral("   ")), this);
    item->setData(Qt::UserRole, index);
    item->setData(kTextsRole, texts);
}

}  // namespace lumacore::ui
