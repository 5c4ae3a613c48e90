#include "ui/results/result_splitter.h"

#include <QEvent>
#include <QHeaderView>
#include <QListView>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "ui/results/file_type_catalog.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_tree_model.h"

namespace lumacore::ui {

namespace {

constexpr int kTreeIdealWidth = 200;
constexpr int kTreeMinimumWidth = 20;
constexpr int kColumnWidths[] = {200, 80, 100, 100, 150, 150, 150};
// The views measure an item without the style sheet's padding and the check box's frame: what a fitted
// column adds so that its widest item is not elided.
constexpr int kFitSlack = 16;
// The folder tree never takes more of the splitter than this when it is widened for its items.
constexpr double kTreeMaximumShare = 0.4;

}  // namespace

CResultSplitter::CResultSplitter(ResultTreeModel& tree, ResultListModel& list, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("ResultSplitter"));
    setChildrenCollapsible(false);

    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("ResultTree"));
    tree_->setModel(&tree);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setMinimumWidth(kTreeMinimumWidth);
    tree_->setFrameShape(QFrame::NoFrame);
    // Long folder names scroll rather than being cut off (FitTreeColumn).
    tree_->header()->setStretchLastSection(false);
    connect(tree_, &QTreeView::expanded, this, [this] { QTimer::singleShot(0, this, &CResultSplitter::FitTreeColumn); });
    connect(tree_, &QTreeView::collapsed, this, [this] { QTimer::singleShot(0, this, &CResultSplitter::FitTreeColumn); });

    stack_ = new QStackedWidget(this);
    details_ = new QTreeView(stack_);
    details_->setObjectName(QStringLiteral("ResultList"));
    details_->setModel(&list);
    details_->setRootIsDecorated(false);
    details_->setItemsExpandable(false);
    details_->setUniformRowHeights(true);
    details_->setAllColumnsShowFocus(true);
    details_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    details_->setSelectionBehavior(QAbstractItemView::SelectRows);
    details_->setFrameShape(QFrame::NoFrame);
    details_->header()->setSectionsClickable(true);
    details_->header()->setSectionsMovable(true);
    details_->header()->setStretchLastSection(false);
    for (int c = 0; c < static_cast<int>(std::size(kColumnWidths)); ++c)
        details_->setColumnWidth(c, kColumnWidths[c]);
    connect(details_->header(), &QHeaderView::sectionResized, this, [this] {
        if (!fitting_) sizedByHand_ = true;
    });
    connect(this, &QSplitter::splitterMoved, this, [this] { paneByHand_ = true; });
    // A pane that grows or shrinks gives its room to the Name column and the tree's column.
    details_->viewport()->installEventFilter(this);
    tree_->viewport()->installEventFilter(this);

    icons_ = new QListView(stack_);
    icons_->setObjectName(QStringLiteral("ResultIcons"));
    icons_->setModel(&list);
    icons_->setSelectionModel(details_->selectionModel());
    icons_->setViewMode(QListView::IconMode);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    icons_->setUniformItemSizes(true);
    icons_->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
    icons_->setGridSize(QSize(kThumbnailSize + 30, kThumbnailSize + 36));
    icons_->setWordWrap(true);
    icons_->setTextElideMode(Qt::ElideMiddle);
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setFrameShape(QFrame::NoFrame);

    stack_->addWidget(details_);
    stack_->addWidget(icons_);
    addWidget(tree_);
    addWidget(stack_);
    // A larger window gives the folder tree a quarter of the new room and the list the rest.
    setStretchFactor(0, 1);
    setStretchFactor(1, 3);
    setSizes({kTreeIdealWidth, 1000});
}

void CResultSplitter::FitColumns() {
    // Measured on the rows in view (the header samples them), so a list of a million rows costs no
    // more than a short one; never narrower than half the designed width.
    fitting_ = true;
    int listNeeds = 0;
    for (int c = 0; c < static_cast<int>(std::size(kColumnWidths)); ++c) {
        details_->resizeColumnToContents(c);
        int width = details_->columnWidth(c) + (c == 0 ? kFitSlack : 0);
        width = std::max(width, kColumnWidths[c] / 2);
        details_->setColumnWidth(c, width);
        if (c == 0) fittedName_ = width;
        if (!details_->isColumnHidden(c)) listNeeds += width;
    }
    listNeeds_ = listNeeds;
    fitting_ = false;
    sizedByHand_ = false;
    FitTreeColumn();
    FitTreePane();
    StretchNameColumn();
}

void CResultSplitter::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    FitTreePane();
}

void CResultSplitter::FitTreePane() {
    if (paneByHand_ || listNeeds_ == 0 || tree_->model()->rowCount() == 0) return;
    const QList<int> panes = sizes();
    if (panes.size() != 2) return;
    // What the tree's items need: measured without the column's stretch to the pane.
    tree_->resizeColumnToContents(0);
    const int treeNeeds = tree_->columnWidth(0) + kFitSlack + (tree_->width() - tree_->viewport()->width());
    FitTreeColumn();
    const int spare = details_->viewport()->width() - listNeeds_;
    const int cap = static_cast<int>((panes[0] + panes[1]) * kTreeMaximumShare);
    const int grow = std::min({treeNeeds - panes[0], spare, cap - panes[0]});
    if (grow > 0) setSizes({panes[0] + grow, panes[1] - grow});
}

void CResultSplitter::FitTreeColumn() {
    tree_->resizeColumnToContents(0);
    tree_->setColumnWidth(0, std::max(tree_->columnWidth(0) + kFitSlack, tree_->viewport()->width()));
}

void CResultSplitter::StretchNameColumn() {
    if (sizedByHand_ || fittedName_ == 0) return;
    QHeaderView* header = details_->header();
    int others = 0;
    for (int c = 1; c < header->count(); ++c) {
        if (!header->isSectionHidden(c)) others += header->sectionSize(c);
    }
    const int room = details_->viewport()->width() - others;
    // Never narrower than its items: a name that needs more than the row has keeps its fitted width (the
    // list scrolls then).
    const int width = std::max(fittedName_, room);
    if (width == header->sectionSize(0)) return;
    fitting_ = true;
    details_->setColumnWidth(0, width);
    fitting_ = false;
}

bool CResultSplitter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == details_->viewport()) {
            StretchNameColumn();
        } else if (watched == tree_->viewport()) {
            FitTreeColumn();
        }
    }
    return QSplitter::eventFilter(watched, event);
}

void CResultSplitter::ShowIcons(bool icons) {
    stack_->setCurrentWidget(icons ? static_cast<QWidget*>(icons_) : details_);
}

bool CResultSplitter::showingIcons() const {
    return stack_->currentWidget() == icons_;
}

void CResultSplitter::RepaintChecks() {
    tree_->viewport()->update();
    details_->viewport()->update();
    icons_->viewport()->update();
}

}  // namespace lumacore::ui
