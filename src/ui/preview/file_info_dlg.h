#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace lumacore::ui {

// "View File Information...": one read-only text in a fixed-pitch font, with both scroll bars, filling
// the dialog (the dump or the text of a previewed file).
class CFileInfoDlg final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kEditId = 1022;

    CFileInfoDlg(const QString& text, QWidget* parent);

    QPlainTextEdit* edit() const { return edit_; }

  private:
    QPlainTextEdit* edit_ = nullptr;
};

}  // namespace lumacore::ui
