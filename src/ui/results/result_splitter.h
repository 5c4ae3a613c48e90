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
    // Sizes the list's columns to what they show, once the views are laid out: the Name column then takes
    // the room left over in the row, and the folder tree's pane widens (up to two fifths of the splitter)
    // so that its items show whole when the list can spare the room. The pane does so again when the
    // window grows, until the user moves the splitter's handle.
    void FitColumns();
    // Widens the Name column into the room the other columns leave (after a resize as well), unless
    // the user has sized the columns by hand since the last fit.
    void StretchNameColumn();
    // The folder tree's column: as wide as its items, and at least as wide as the pane.
    void FitTreeColumn();
    bool showingIcons() const;
    // Repaints the check boxes of both panes after the check rules ran.
    void RepaintChecks();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitTreePane();

    QTreeView* tree_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* details_ = nullptr;
    QListView* icons_ = nullptr;
    bool fitting_ = false;      // the widths being set are the program's, not the user's
    bool sizedByHand_ = false;  // the user dragged a column edge since the last fit
    bool paneByHand_ = false;   // the user moved the handle: the panes keep the widths given
    int listNeeds_ = 0;         // the list's columns at their fitted widths
    int fittedName_ = 0;        // the Name column's width for its items, before it takes the free room
};

}  // namespace lumacore::ui
