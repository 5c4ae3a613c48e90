// "Set Filter Options...": what it shows, what each control changes, OK and Cancel, and its two openings.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "core/dos_date.h"
#include "core/filter.h"
#include "core/recovery_settings.h"
#include "ui/dialogs/filter_dlg.h"

namespace lumacore {

using ui::CFilterDlg;

namespace {

FilterSettings Sample() {
    FilterSettings f;
    f.category = 3;
    f.extensionList = "stale";
    f.date = DosDate(2011, 12, 31);
    f.dateMode = FilterSettings::kDateBefore;
    f.sizeValue1 = 1.5;
    f.sizeValue2 = 20;
    f.sizeMode = FilterSettings::kSizeBetween;
    f.nameText = "rep";
    return f;
}

// Presses a button of the next modal filter dialog once it is up.
void PressWhenOpen(QDialogButtonBox::StandardButton which, const std::function<void(CFilterDlg&)>& edit = {}) {
    QTimer::singleShot(0, [which, edit] {
        auto* dialog = qobject_cast<CFilterDlg*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (edit) edit(*dialog);
        dialog->buttons()->button(which)->click();
    });
}

}  // namespace

class FilterDialogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openingShowsTheStoredValues() {
        FilterSettings f = Sample();
        CFilterDlg dialog(f, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Filter Options..."));
        QCOMPARE(dialog.extensionCombo()->count(), 7);
        QCOMPARE(dialog.extensionCombo()->itemText(0), QStringLiteral("All Files (*.*)"));
        QCOMPARE(dialog.extensionCombo()->currentIndex(), 3);
        QCOMPARE(dialog.dateCombo()->currentText(), QStringLiteral("Before"));
        QCOMPARE(dialog.sizeCombo()->currentText(), QStringLiteral("Between"));
        QCOMPARE(dialog.datePicker()->date(), QDate(2011, 12, 31));
        QCOMPARE(dialog.sizeEdit1()->text(), QStringLiteral("1.5"));
        QCOMPARE(dialog.sizeEdit2()->text(), QStringLiteral("20"));
        QCOMPARE(dialog.nameEdit()->text(), QStringLiteral("rep"));
        QCOMPARE(dialog.sizeDash()->text(), QStringLiteral(" -"));
        // The list is the category's, whatever was stored.
        QCOMPARE(dialog.values().extensionList, std::string(FilterCategoryList(3)));
        QVERIFY(dialog.datePicker()->isVisibleTo(&dialog));
        QVERIFY(dialog.sizeEdit1()->isVisibleTo(&dialog));
        QVERIFY(dialog.sizeDash()->isVisibleTo(&dialog));
        QVERIFY(dialog.sizeEdit2()->isVisibleTo(&dialog));
    }

    void theDateAndSizeControlsShowAsTheModesSay() {
        FilterSettings f = FilterSettings::Initial();
        CFilterDlg dialog(f, nullptr);
        QVERIFY(!dialog.datePicker()->isVisibleTo(&dialog));
        QVERIFY(!dialog.sizeEdit1()->isVisibleTo(&dialog));
        QVERIFY(!dialog.sizeEdit2()->isVisibleTo(&dialog));

        for (int mode : {1, 2, 3}) {
            dialog.dateCombo()->setCurrentIndex(mode);
            QVERIFY(dialog.datePicker()->isVisibleTo(&dialog));
            QCOMPARE(dialog.values().dateMode, mode);
        }
        dialog.dateCombo()->setCurrentIndex(0);
        QVERIFY(!dialog.datePicker()->isVisibleTo(&dialog));

        for (int mode : {1, 2, 3}) {
            dialog.sizeEdit1()->setText(QStringLiteral("7.25"));
            dialog.sizeCombo()->setCurrentIndex(mode);
            QVERIFY(dialog.sizeEdit1()->isVisibleTo(&dialog));
            QVERIFY(!dialog.sizeDash()->isVisibleTo(&dialog));
            QVERIFY(!dialog.sizeEdit2()->isVisibleTo(&dialog));
            QCOMPARE(dialog.values().sizeValue1, 7.25);
        }
        dialog.sizeEdit2()->setText(QStringLiteral("9"));
        dialog.sizeCombo()->setCurrentIndex(4);
        QVERIFY(dialog.sizeDash()->isVisibleTo(&dialog));
        QVERIFY(dialog.sizeEdit2()->isVisibleTo(&dialog));
        QCOMPARE(dialog.values().sizeValue2, 9.0);

        // Ignore hides the edits and zeroes both sizes.
        dialog.sizeCombo()->setCurrentIndex(0);
        QVERIFY(!dialog.sizeEdit1()->isVisibleTo(&dialog));
        QVERIFY(!dialog.sizeEdit2()->isVisibleTo(&dialog));
        QCOMPARE(dialog.values().sizeValue1, 0.0);
        QCOMPARE(dialog.values().sizeValue2, 0.0);
    }

    void theCategoryChoosesTheListButAllFilesKeepsIt() {
        FilterSettings f = FilterSettings::Initial();
        f.extensionList = "kept";
        CFilterDlg dialog(f, nullptr);
        QCOMPARE(dialog.values().extensionList, std::string("kept"));
        dialog.extensionCombo()->setCurrentIndex(2);
        QCOMPARE(dialog.values().category, 2);
        QCOMPARE(dialog.values().extensionList, std::string("htm.htx.asp.stm.shtml"));
        dialog.extensionCombo()->setCurrentIndex(0);
        QCOMPARE(dialog.values().category, 0);
        QCOMPARE(dialog.values().extensionList, std::string("htm.htx.asp.stm.shtml"));
    }

    void okWritesEveryFieldAndCancelNothing() {
        FilterSettings f = FilterSettings::Initial();
        const FilterSettings before = f;
        {
            CFilterDlg dialog(f, nullptr);
            dialog.extensionCombo()->setCurrentIndex(6);
            dialog.dateCombo()->setCurrentIndex(3);
            dialog.datePicker()->setDate(QDate(2020, 6, 15));
            dialog.sizeCombo()->setCurrentIndex(4);
            dialog.sizeEdit1()->setText(QStringLiteral("2"));
            dialog.sizeEdit2()->setText(QStringLiteral("40"));
            dialog.nameEdit()->setText(QStringLiteral("Mail"));
            dialog.reject();
        }
        QCOMPARE(f.category, before.category);
        QCOMPARE(f.dateMode, before.dateMode);
        QCOMPARE(f.nameText, before.nameText);

        CFilterDlg dialog(f, nullptr);
        dialog.extensionCombo()->setCurrentIndex(6);
        dialog.dateCombo()->setCurrentIndex(3);
        dialog.datePicker()->setDate(QDate(2020, 6, 15));
        dialog.sizeCombo()->setCurrentIndex(4);
        dialog.sizeEdit1()->setText(QStringLiteral("2"));
        dialog.sizeEdit2()->setText(QStringLiteral("40"));
        dialog.nameEdit()->setText(QStringLiteral("Mail"));
        dialog.buttons()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(f.category, 6);
        QCOMPARE(f.extensionList, std::string("dbx.pst.box"));
        QCOMPARE(f.dateMode, int(FilterSettings::kDateOn));
        QCOMPARE(f.date, std::uint32_t{DosDate(2020, 6, 15)});
        QCOMPARE(f.sizeMode, int(FilterSettings::kSizeBetween));
        QCOMPARE(f.sizeValue1, 2.0);
        QCOMPARE(f.sizeValue2, 40.0);
        QCOMPARE(f.nameText, std::string("Mail"));
    }

    void fromTheDrivePageCancelLeavesOnlyTheListAndTheName() {
        RecoverySettings settings;
        settings.Filter = Sample();
        settings.Filter.extensionList = "bmp.dib";
        PressWhenOpen(QDialogButtonBox::Cancel, [](CFilterDlg& dialog) {
            // The dialog shows the values held before the reset.
            QCOMPARE(dialog.extensionCombo()->currentIndex(), 3);
            QCOMPARE(dialog.sizeEdit1()->text(), QStringLiteral("1.5"));
        });
        QCOMPARE(CFilterDlg::EditBeforeScan(nullptr, settings), int(QDialog::Rejected));
        const FilterSettings& f = settings.Filter;
        QCOMPARE(f.category, 0);
        QCOMPARE(f.dateMode, 0);
        QCOMPARE(f.sizeMode, 0);
        QCOMPARE(f.sizeValue1, 0.0);
        QCOMPARE(f.sizeValue2, 0.0);
        QCOMPARE(f.date, std::uint32_t{TodayDosDate()});
        QCOMPARE(f.extensionList, std::string("bmp.dib"));
        QCOMPARE(f.nameText, std::string("rep"));
    }

    void fromTheDrivePageOkKeepsTheValuesShown() {
        RecoverySettings settings;
        settings.Filter = Sample();
        PressWhenOpen(QDialogButtonBox::Ok);
        QCOMPARE(CFilterDlg::EditBeforeScan(nullptr, settings), int(QDialog::Accepted));
        FilterSettings expected = Sample();
        expected.extensionList = FilterCategoryList(3);
        const FilterSettings& f = settings.Filter;
        QCOMPARE(f.category, expected.category);
        QCOMPARE(f.extensionList, expected.extensionList);
        QCOMPARE(f.date, expected.date);
        QCOMPARE(f.dateMode, expected.dateMode);
        QCOMPARE(f.sizeMode, expected.sizeMode);
        QCOMPARE(f.sizeValue1, expected.sizeValue1);
        QCOMPARE(f.sizeValue2, expected.sizeValue2);
        QCOMPARE(f.nameText, expected.nameText);
    }

    void aResultPageEditsOnlyItsOwnCopy() {
        RecoverySettings settings;
        settings.Filter = Sample();
        FilterSettings pageCopy = FilterSettings::Initial();
        PressWhenOpen(QDialogButtonBox::Cancel);
        CFilterDlg::EditPageCopy(nullptr, pageCopy);
        QCOMPARE(pageCopy.category, 0);
        PressWhenOpen(QDialogButtonBox::Ok, [](CFilterDlg& dialog) { dialog.nameEdit()->setText(QStringLiteral("x")); });
        QCOMPARE(CFilterDlg::EditPageCopy(nullptr, pageCopy), int(QDialog::Accepted));
        QCOMPARE(pageCopy.nameText, std::string("x"));
        QCOMPARE(settings.Filter.nameText, std::string("rep"));
        QCOMPARE(settings.Filter.category, 3);
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::FilterDialogTest)
#include "filter_dialog_test.moc"
