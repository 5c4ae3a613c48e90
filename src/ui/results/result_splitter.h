#pragma once

#include <QSplitter>

class QListView;
class QStackedWidget;
class QTreeView;

namespace lumacore::ui {

class ResultListModel;
class ResultTreeModel;

// The two panes of a result page: the folder tree on the left, the file list on the right, shown as a
// details list or as a grid of 90 x 90 thumbnails. Both list views share one model and one selection.
class CResultSplitter final : public QSplitter {
    Q_OBJECT
  public:
    CResultSplitter(ResultTreeModel& tree, ResultListModel& list, QWidget* parent);

    QTreeView* treeView() const { return tree_; }
    QTreeView* detailsView() const { return details_; }
    QListView* iconView() const { return icons_; }
    // The view the list is shown in now.
    void ShowIcons(bool icons);
    // Sizes the list's columns to what they show.
    void FitColumns();
    bool showingIcons() const;
    // Repaints the check boxes of both panes after the check rules ran.
    void RepaintChecks();

  private:
    QTreeView* tree_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* details_ = nullptr;
    QListView* icons_ = nullptr;
};

}  // namespace lumacore::ui
