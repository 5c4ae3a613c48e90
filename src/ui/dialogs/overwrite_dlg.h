#pragma once

#include <QDialog>
#include <string>

#include "recovery/recovered_file_writer.h"

class QLabel;
class QPushButton;

namespace lumacore::ui {

// "Confirm File Overwrite": a file of the same name is already in the destination folder. Four answers:
// Yes (the default), Yes to All, No and Cancel; closing the dialog any other way is Cancel.
class COverwriteDlg final : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kTitle = "Confirm File Overwrite";

    COverwriteDlg(const QString& fileName, QWidget* parent);

    OverwriteAnswer answer() const { return answer_; }

    // Shows the dialog modally and returns the answer.
    static OverwriteAnswer Ask(QWidget* parent, const std::string& fileName);

    QLabel* existsLabel() const { return exists_; }
    QString questionText() const;
    QPushButton* yesButton() const { return yes_; }
    QPushButton* yesToAllButton() const { return yesToAll_; }
    QPushButton* noButton() const { return no_; }
    QPushButton* cancelButton() const { return cancel_; }

    void reject() override;

  private:
    void Answer(OverwriteAnswer answer);

    OverwriteAnswer answer_ = OverwriteAnswer::Cancel;
    QLabel* exists_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* yesToAll_ = nullptr;
    QPushButton* no_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace lumacore::ui
