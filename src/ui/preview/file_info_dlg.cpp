#include "ui/preview/file_info_dlg.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace lumacore::ui {

namespace {

// The window's size in dialog units (a quarter of the font's average character width, an eighth of
// its height), as the old window was laid out; at least wide enough for a whole dump row.
constexpr QSize kSizeInDialogUnits(328, 228);
constexpr int kDumpRowCharacters = 79;

}  // namespace

CFileInfoDlg::CFileInfoDlg(const QString& text, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FileInfoDialog"));
    setWindowTitle(QStringLiteral("View File Information..."));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);

    edit_ = new QPlainTextEdit(this);
    edit_->setObjectName(QStringLiteral("FileInfoText%1").arg(kEditId));
    edit_->setReadOnly(true);
    edit_->setFont(font);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The dump joins its rows with CR LF; the edit wants plain line breaks.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    edit_->setPlainText(shown);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit_);

    const QFontMetrics metrics(font);
    const int rowWidth = metrics.horizontalAdvance(QString(kDumpRowCharacters, QLatin1Char('0'))) +
                         edit_->verticalScrollBar()->sizeHint().width() + 2 * edit_->frameWidth() +
                         2 * static_cast<int>(edit_->document()->documentMargin()) + 4;
    resize(std::max(kSizeInDialogUnits.width() * metrics.averageCharWidth() / 4, rowWidth),
           kSizeInDialogUnits.height() * metrics.height() / 8);
}

}  // namespace lumacore::ui
