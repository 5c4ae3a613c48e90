#include "ui/dialogs/raw_options_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/recovery_settings.h"
#include "ui/results/file_type_catalog.h"
#include "ui/shell.h"

namespace lumacore::ui {

namespace {

QLineEdit* NumberEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    // Sector numbers are unsigned 32-bit and the size limit a KB count: digits only.
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), edit));
    return edit;
}

}  // namespace

CRawOptionsDlg::CRawOptionsDlg(RecoverySettings& settings, RawTypeSelection& selection, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      options_(settings.PartitionFirstSector, settings.PartitionEndSector, settings.ScanStartSector,
               settings.ScanEndSector, settings.RawSizeLimit, selection) {
    setObjectName(QStringLiteral("RawOptionsDialog"));
    setWindowTitle(QString::fromLatin1(kRawOptionsTitle));

    auto* intro = new QLabel(QString::fromLatin1(kRawOptionsIntro), this);
    size_ = NumberEdit(QStringLiteral("sizeLimit"), this);
    size_->setText(QString::number(options_.sizeLimit()));
    start_ = NumberEdit(QStringLiteral("start"), this);
    start_->setText(QString::number(options_.start()));
    end_ = NumberEdit(QStringLiteral("end"), this);
    end_->setText(QString::number(options_.end()));
    lowest_ = new QLabel(QString::fromStdString(options_.LowestText()), this);
    highest_ = new QLabel(QString::fromStdString(options_.HighestText()), this);
    total_ = new QLabel(QString::fromStdString(options_.TotalText()), this);

    types_ = new QTreeWidget(this);
    types_->setObjectName(QStringLiteral("fileTypes"));
    types_->setColumnCount(2);
    types_->setHeaderLabels({QStringLiteral("Extension"), QStringLiteral("Description")});
    types_->setColumnWidth(0, 80);
    types_->setColumnWidth(1, 250);
    types_->setRootIsDecorated(false);
    types_->setSelectionBehavior(QAbstractItemView::SelectRows);
    types_->setUniformRowHeights(true);
    types_->setIconSize(QSize(16, 16));
    FileTypeCatalog fileTypes;
    for (const RawOptions::Row& row : options_.rows()) {
        auto* item = new QTreeWidgetItem(
            types_, {QString::fromStdString(row.extension), QString::fromStdString(row.description)});
        item->setIcon(0, fileTypes.ForName("a." + row.extension).icon);
        item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    }
    selectAll_ = new QPushButton(QString::fromLatin1(kRawOptionsSelectAll), this);
    deselectAll_ = new QPushButton(QString::fromLatin1(kRawOptionsDeselectAll), this);
    connect(selectAll_, &QPushButton::clicked, this, [this] { SetChecks(true); });
    connect(deselectAll_, &QPushButton::clicked, this, [this] { SetChecks(false); });

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CRawOptionsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CRawOptionsDlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromLatin1(kRawOptionsSizeLabel), this), 0, 0);
    grid->addWidget(size_, 0, 1);
    grid->addWidget(new QLabel(QString::fromLatin1(kRawOptionsStartLabel), this), 1, 0);
    grid->addWidget(start_, 1, 1);
    grid->addWidget(lowest_, 1, 2);
    grid->addWidget(new QLabel(QString::fromLatin1(kRawOptionsEndLabel), this), 2, 0);
    grid->addWidget(end_, 2, 1);
    grid->addWidget(highest_, 2, 2);
    grid->addWidget(new QLabel(QString::fromLatin1(kRawOptionsTotalLabel), this), 3, 0);
    grid->addWidget(total_, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 110);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(selectAll_);
    listButtons->addWidget(deselectAll_);
    listButtons->addStretch(1);
    listButtons->addWidget(ok_);
    listButtons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    layout->addWidget(new QLabel(QString::fromLatin1(kRawOptionsTypeLabel), this));
    layout->addWidget(types_, 1);
    layout->addLayout(listButtons);
    resize(440, 460);
}

void CRawOptionsDlg::SetChecks(bool checked) {
    for (int i = 0; i < types_->topLevelItemCount(); ++i) {
        types_->topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
}

void CRawOptionsDlg::accept() {
    auto& rows = options_.rows();
    for (int i = 0; i < types_->topLevelItemCount() && static_cast<std::size_t>(i) < rows.size(); ++i) {
        rows[static_cast<std::size_t>(i)].checked = types_->topLevelItem(i)->checkState(0) == Qt::Checked;
    }
    const RawOptions::Outcome outcome =
        options_.Accept(start_->text().toLongLong(), end_->text().toLongLong(), size_->text().toInt());
    if (outcome.verdict != RawOptions::Verdict::Accepted) {
        ShowMessage(this, QString::fromStdString(outcome.message));
        if (outcome.resetStart) start_->setText(QString::number(*outcome.resetStart));
        if (outcome.resetEnd) end_->setText(QString::number(*outcome.resetEnd));
        return;
    }
    settings_.RawSizeLimit = options_.sizeLimit();
    settings_.ScanStartSector = options_.start();
    settings_.ScanEndSector = options_.end();
    QDialog::accept();
}

bool CRawOptionsDlg::Edit(QWidget* parent, RecoverySettings& settings, RawTypeSelection& selection) {
    CRawOptionsDlg dialog(settings, selection, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lumacore::ui
