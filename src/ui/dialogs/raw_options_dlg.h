#pragma once

#include <QDialog>
#include <memory>

#include "engines/raw/raw_options.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace lumacore {
class RecoverySettings;
}

namespace lumacore::ui {

// "SetQuickOptions...": the signature search's size limit, sector range and file types. It shows the
// RawOptions of the chosen partition; OK checks the edits (a refused one gets its message, goes back to
// its bound and the dialog stays open), then writes the size limit and the range into the settings and
// every file type's check state into the signature list.
class CRawOptionsDlg final : public QDialog {
    Q_OBJECT
  public:
    CRawOptionsDlg(RecoverySettings& settings, RawTypeSelection& selection, QWidget* parent);

    // The drive page's Option button in the RAW mode. True when the user confirmed.
    static bool Edit(QWidget* parent, RecoverySettings& settings, RawTypeSelection& selection);

    QLineEdit* sizeEdit() const { return size_; }
    QLineEdit* startEdit() const { return start_; }
    QLineEdit* endEdit() const { return end_; }
    QLabel* lowestLabel() const { return lowest_; }
    QLabel* highestLabel() const { return highest_; }
    QLabel* totalLabel() const { return total_; }
    QTreeWidget* typeList() const { return types_; }
    QPushButton* selectAllButton() const { return selectAll_; }
    QPushButton* deselectAllButton() const { return deselectAll_; }
    QPushButton* okButton() const { return ok_; }

    void accept() override;

  private:
    void SetChecks(bool checked);

    RecoverySettings& settings_;
    RawOptions options_;
    QLineEdit* size_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    QLabel* lowest_ = nullptr;
    QLabel* highest_ = nullptr;
    QLabel* total_ = nullptr;
    QTreeWidget* types_ = nullptr;
    QPushButton* selectAll_ = nullptr;
    QPushButton* deselectAll_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace lumacore::ui
