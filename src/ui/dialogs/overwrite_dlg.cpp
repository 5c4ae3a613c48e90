#include "ui/dialogs/overwrite_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumacore::ui {

COverwriteDlg::COverwriteDlg(const QString& fileName, QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Confirm File Overwrite"));
    setObjectName(QStringLiteral("OverwriteDialog"));
    setModal(true);

    name_ = new QLabel(QStringLiteral("This folder already contains a file named '%1'").arg(fileName), this);
    name_->setTextFormat(Qt::PlainText);
    name_->setWordWrap(true);
    auto* question = new QLabel(QStringLiteral("Would you like to overwrite the exsisting file?"), this);

    yes_ = new QPushButton(QStringLiteral("Yes"), this);
    yesToAll_ = new QPushButton(QStringLiteral("Yes to All"), this);
    no_ = new QPushButton(QStringLiteral("No"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    yes_->setDefault(true);
    connect(yes_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::Yes); });
    connect(yesToAll_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::YesToAll); });
    connect(no_, &QPushButton::clicked, this, [this] { Answer(OverwriteAnswer::No); });
    connect(cancel_, &QPushButton::clicked, this, &COverwriteDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {yes_, yesToAll_, no_, cancel_}) {
        button->setMinimumWidth(84);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(8);
    layout->addWidget(name_);
    layout->addWidget(question);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(440);
}

QString COverwriteDlg::questionText() const {
    return name_->text();
}

void COverwriteDlg::Answer(OverwriteAnswer answer) {
    answer_ = answer;
    accept();
}

void COverwriteDlg::reject() {
    answer_ = OverwriteAnswer::Cancel;
    QDialog::reject();
}

OverwriteAnswer COverwriteDlg::Ask(QWidget* owner, const QString& fileName) {
    COverwriteDlg dialog(fileName, owner);
    dialog.exec();
    return dialog.answer();
}

}  // namespace lumacore::ui
