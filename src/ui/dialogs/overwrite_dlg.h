#pragma once

#include <QDialog>
#include <QString>

#include "recovery/recovered_file_writer.h"

class QLabel;
class QPushButton;

namespace lumacore::ui {

// "Confirm File Overwrite": asked before a recovered file replaces one of the same name. Yes, Yes to
// All and No end the dialog as accepted, Cancel (or closing it any other way) as cancelled; the caller
// reads answer(), not the dialog's result.
class COverwriteDlg final : public QDialog {
    Q_OBJECT
  public:
    COverwriteDlg(const QString& fileName, QWidget* owner);

    OverwriteAnswer answer() const { return answer_; }
    QString questionText() const;

    QPushButton* yesButton() const { return yes_; }
    QPushButton* yesToAllButton() const { return yesToAll_; }
    QPushButton* noButton() const { return no_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Shows the dialog modally and returns its answer.
    static OverwriteAnswer Ask(QWidget* owner, const QString& fileName);

    void reject() override;

  private:
    void Answer(OverwriteAnswer answer);

    OverwriteAnswer answer_ = OverwriteAnswer::Cancel;
    QLabel* name_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* yesToAll_ = nullptr;
    QPushButton* no_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace lumacore::ui
