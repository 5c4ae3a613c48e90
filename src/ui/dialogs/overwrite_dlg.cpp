#include "ui/dialogs/overwrite_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace lumacore::ui {

COverwriteDlg::COverwriteDlg(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OverwriteDialog"));
    setWindowTitle(QString::fromLatin1(kTitle));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    exists_ = new QLabel(QString::fromLatin1(kOverwriteExistsPrefix) + fileName + QLatin1Char('\''), this);
    exists_->setObjectName(QStringLiteral("exists"));
    // A long name must not widen the dialog past the screen.
    exists_->setWordWrap(true);
    exists_->setTextFormat(Qt::PlainText);
    auto* question = new QLabel(QString::fromLatin1(kOverwriteQuestion), this);

    yes_ = new QPushButton(QStringLiteral("Yes"), this);
    yesToAll_ = new QPushButton(QStringLiteral("Yes to All"), this);
    no_ = new QPushButton(QStringLiteral("No"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    yes_->setDefault(true);
    connect(yes_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::Yes); });
    connect(yesToAll_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::YesToAll); });
    connect(no_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::No); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::Cancel); });

    auto* texts = new QVBoxLayout;
    texts->addWidget(exists_);
    texts->addWidget(question);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {yes_, yesToAll_, no_, cancel_}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(440);
    setMaximumWidth(640);
}

void COverwriteDlg::Answer(OverwriteAnswer answer) {
    answer_ = answer;
    // Cancel is a rejection like Escape; the three others go on with the run.
    if (answer == OverwriteAnswer::Cancel) {
        QDialog::reject();
    } else {
        accept();
    }
}

void COverwriteDlg::reject() {
    answer_ = OverwriteAnswer::Cancel;
    QDialog::reject();
}

QString COverwriteDlg::questionText() const { return exists_->text(); }

OverwriteAnswer COverwriteDlg::Ask(QWidget* parent, const std::string& fileName) {
    COverwriteDlg dialog(QString::fromStdString(fileName), parent);
    dialog.exec();
    return dialog.answer();
}

}  // namespace lumacore::ui
