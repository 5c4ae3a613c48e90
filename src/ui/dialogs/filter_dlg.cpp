#include "ui/dialogs/filter_dlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "core/dos_date.h"
#include "core/filter.h"
#include "core/recovery_settings.h"

namespace lumacore::ui {

namespace {

QString SizeText(double kilobytes) { return QString::number(kilobytes, 'g', 15); }

QDate ToQDate(std::uint32_t dosDate) {
    const CalendarDate d = SplitDosDate(static_cast<std::uint16_t>(dosDate));
    const QDate date(d.year, d.month, d.day);
    // A stored value that is no calendar day (month 0, 31 February) shows as the nearest valid one.
    return date.isValid() ? date : QDate(d.year, std::clamp(d.month, 1, 12), 1);
}

}  // namespace

CFilterDlg::CFilterDlg(FilterSettings& target, const FilterSettings& shown, QWidget* parent)
    : QDialog(parent), target_(target), values_(shown) {
    setWindowTitle(QStringLiteral("Set Filter Options..."));
    setObjectName(QStringLiteral("FilterDialog"));

    extension_ = new QComboBox(this);
    extension_->setObjectName(QStringLiteral("extension"));
    for (int i = 0; i < kFilterCategoryCount; ++i) extension_->addItem(QString::fromLatin1(FilterCategoryText(i)));
    // The item texts are long; the popup shows them whole while the box keeps the dialog's width.
    extension_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    extension_->setMinimumContentsLength(30);
    extension_->view()->setMinimumWidth(560);

    dateMode_ = new QComboBox(this);
    dateMode_->setObjectName(QStringLiteral("dateMode"));
    dateMode_->addItems({QStringLiteral("Ignore"), QStringLiteral("Before"), QStringLiteral("After"), QStringLiteral("On")});
    date_ = new QDateEdit(this);
    date_->setObjectName(QStringLiteral("date"));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    // DOS dates run from 1980 to 2107.
    date_->setDateRange(QDate(1980, 1, 1), QDate(2107, 12, 31));

    sizeMode_ = new QComboBox(this);
    sizeMode_->setObjectName(QStringLiteral("sizeMode"));
    sizeMode_->addItems({QStringLiteral("Ignore"), QStringLiteral("Equal"), QStringLiteral("Smaller"),
                         QStringLiteral("Larger"), QStringLiteral("Between")});
    auto* validator = new QDoubleValidator(0, 1e15, 2, this);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    size1_ = new QLineEdit(this);
    size1_->setObjectName(QStringLiteral("size1"));
    size1_->setValidator(validator);
    dash_ = new QLabel(QStringLiteral(" -"), this);
    size2_ = new QLineEdit(this);
    size2_->setObjectName(QStringLiteral("size2"));
    size2_->setValidator(validator);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setPlaceholderText(QStringLiteral("part of the file name"));

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &CFilterDlg::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &CFilterDlg::reject);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(new QLabel(QStringLiteral("Show Files Extention :"), this), 0, 0);
    grid->addWidget(extension_, 0, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Show Files With Date :"), this), 1, 0);
    grid->addWidget(dateMode_, 1, 1);
    grid->addWidget(date_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Show Files With Size(KB) :"), this), 2, 0);
    grid->addWidget(sizeMode_, 2, 1);
    auto* sizes = new QHBoxLayout;
    sizes->setSpacing(4);
    sizes->addWidget(size1_);
    sizes->addWidget(dash_);
    sizes->addWidget(size2_);
    grid->addLayout(sizes, 2, 2, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Show Files With Name :"), this), 3, 0);
    grid->addWidget(name_, 3, 1, 1, 4);
    grid->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(14);
    layout->addLayout(grid);
    layout->addWidget(buttons_);

    // Opening: the combos from the modes, the sizes into the edits, the picker at the stored date, the
    // controls shown as the modes say, and the extension list that goes with a chosen category.
    extension_->setCurrentIndex(values_.category >= 0 && values_.category < kFilterCategoryCount ? values_.category : 0);
    dateMode_->setCurrentIndex(values_.dateMode >= 0 && values_.dateMode <= 3 ? values_.dateMode : 0);
    sizeMode_->setCurrentIndex(values_.sizeMode >= 0 && values_.sizeMode <= 4 ? values_.sizeMode : 0);
    size1_->setText(SizeText(values_.sizeValue1));
    size2_->setText(SizeText(values_.sizeValue2));
    date_->setDate(ToQDate(values_.date));
    name_->setText(QString::fromStdString(values_.nameText));
    if (const char* list = FilterCategoryList(values_.category)) values_.extensionList = list;
    ShowDateAndSizeControls();

    connect(extension_, &QComboBox::currentIndexChanged, this, &CFilterDlg::OnExtensionChanged);
    connect(dateMode_, &QComboBox::currentIndexChanged, this, &CFilterDlg::OnDateModeChanged);
    connect(sizeMode_, &QComboBox::currentIndexChanged, this, &CFilterDlg::OnSizeModeChanged);
    connect(date_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        values_.date = DosDate(d.year(), d.month(), d.day());
    });
    adjustSize();
    setFixedSize(sizeHint());
}

void CFilterDlg::ShowDateAndSizeControls() {
    date_->setVisible(values_.dateMode != FilterSettings::kDateIgnore);
    size1_->setVisible(values_.sizeMode != FilterSettings::kSizeIgnore);
    dash_->setVisible(values_.sizeMode == FilterSettings::kSizeBetween);
    size2_->setVisible(values_.sizeMode == FilterSettings::kSizeBetween);
}

void CFilterDlg::OnExtensionChanged(int index) {
    values_.category = index;
    if (const char* list = FilterCategoryList(index)) values_.extensionList = list;
}

void CFilterDlg::OnDateModeChanged(int index) {
    values_.dateMode = index;
    ShowDateAndSizeControls();
}

double CFilterDlg::ReadSize(const QLineEdit* edit) const {
    bool ok = false;
    const double value = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    return ok && value >= 0 ? value : 0.0;
}

void CFilterDlg::OnSizeModeChanged(int index) {
    values_.sizeMode = index;
    if (index == FilterSettings::kSizeIgnore) {
        values_.sizeValue1 = values_.sizeValue2 = 0;
        size1_->setText(SizeText(0));
        size2_->setText(SizeText(0));
    } else {
        values_.sizeValue1 = ReadSize(size1_);
        if (index == FilterSettings::kSizeBetween) values_.sizeValue2 = ReadSize(size2_);
    }
    ShowDateAndSizeControls();
}

void CFilterDlg::accept() {
    values_.sizeValue1 = ReadSize(size1_);
    values_.sizeValue2 = ReadSize(size2_);
    values_.nameText = name_->text().toStdString();
    target_ = values_;
    QDialog::accept();
}

int CFilterDlg::EditBeforeScan(QWidget* parent, RecoverySettings& settings) {
    const FilterSettings held = settings.Filter;
    FilterSettings& filter = settings.Filter;
    filter.category = 0;
    filter.dateMode = FilterSettings::kDateIgnore;
    filter.sizeValue1 = filter.sizeValue2 = 0;
    filter.sizeMode = FilterSettings::kSizeIgnore;
    filter.date = TodayDosDate();
    CFilterDlg dialog(filter, held, parent);
    return dialog.exec();
}

int CFilterDlg::EditPageCopy(QWidget* parent, FilterSettings& pageCopy) {
    CFilterDlg dialog(pageCopy, parent);
    return dialog.exec();
}

}  // namespace lumacore::ui
