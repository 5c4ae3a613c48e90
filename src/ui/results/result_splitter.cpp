#include "ui/results/result_splitter.h"

#include <QHeaderView>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include "ui/results/file_type_catalog.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_tree_model.h"

namespace lumacore::ui {

namespace {

constexpr int kTreeIdealWidth = 200;
constexpr int kTreeMinimumWidth = 20;
constexpr int kColumnWidths[] = {200, 80, 100, 100, 150, 150, 150};

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
    // Long folder names scroll rather than being cut off.
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);

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
    for (int c = 0; c < static_cast<int>(std::size(kColumnWidths)); ++c) {
        details_->resizeColumnToContents(c);
        if (details_->columnWidth(c) < kColumnWidths[c] / 2)
            details_->setColumnWidth(c, kColumnWidths[c] / 2);
    }
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
