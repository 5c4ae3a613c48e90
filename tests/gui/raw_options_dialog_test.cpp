// "SetQuickOptions...": what it shows for the chosen partition, the three refusals, and the values and
// file types that land in the settings and the signature list on OK.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/recovery_app.h"
#include "gui/gui_test_support.h"
#include "ui/dialogs/raw_options_dlg.h"
#include "ui/pages/result_page_factory.h"
#include "ui/skin/skin.h"

namespace lumacore {

using ui::CRawOptionsDlg;

class RawOptionsDialogTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<RecoverySettings> settingsHolder_;
    RawTypeSelection types_;
    RecoverySettings& settings() { return *settingsHolder_; }

    // A partition of 1,048,576 bytes at sector 63: the range is 63 to 2111.
    static void ChooseSmallPartition(RecoverySettings& settings) {
        PartitionInfo p;
        p.startSector = 63;
        p.totalBytes = 1048576;
        p.driveLetter = '*';
        p.SetFsName("Deleted");
        settings.SelectPartition(p);
    }

    void SetEdits(CRawOptionsDlg& dialog, const char* start, const char* end, const char* size) {
        dialog.startEdit()->setText(QString::fromLatin1(start));
        dialog.endEdit()->setText(QString::fromLatin1(end));
        dialog.sizeEdit()->setText(QString::fromLatin1(size));
    }

  private Q_SLOTS:
    void init() {
        settingsHolder_ = std::make_unique<RecoverySettings>();
        ChooseSmallPartition(settings());
        types_ = RawTypeSelection{};
        QVERIFY2(types_.EnsureLoaded(), "rp.dat beside the test");
    }

    void itShowsTheRangeAndOneRowPerRunOfADescription() {
        CRawOptionsDlg dialog(settings(), types_, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("SetQuickOptions..."));
        QCOMPARE(dialog.startEdit()->text(), QStringLiteral("63"));
        QCOMPARE(dialog.endEdit()->text(), QStringLiteral("2111"));
        QCOMPARE(dialog.sizeEdit()->text(), QStringLiteral("512000"));
        QCOMPARE(dialog.lowestLabel()->text(), QStringLiteral("> 63"));
        QCOMPARE(dialog.highestLabel()->text(), QStringLiteral("< 2111"));
        QCOMPARE(dialog.totalLabel()->text(), QStringLiteral("2048"));
        QTreeWidget* list = dialog.typeList();
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Extension"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Description"));
        int runs = 0;
        const auto& entries = types_.entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            runs += i == 0 || entries[i].description != entries[i - 1].description;
        QCOMPARE(list->topLevelItemCount(), runs);
        QCOMPARE(list->topLevelItem(0)->text(0), QString::fromStdString(entries[0].extension));
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);
    }

    void refusedEditsStayOpenWithTheirMessage() {
        testing::MessageRecorder messages;
        CRawOptionsDlg dialog(settings(), types_, nullptr);
        dialog.show();
        SetEdits(dialog, "10", "200", "100");
        dialog.accept();
        QCOMPARE(messages.texts().value(0),
                 QStringLiteral("Start sector is not valid. This must be bigger than 63"));
        QCOMPARE(dialog.startEdit()->text(), QStringLiteral("63"));
        QVERIFY(dialog.isVisible());
        SetEdits(dialog, "100", "5000", "100");
        dialog.accept();
        QCOMPARE(messages.texts().value(1),
                 QStringLiteral("End sector is not valid. This must be less than 2111"));
        QCOMPARE(dialog.endEdit()->text(), QStringLiteral("2111"));
        SetEdits(dialog, "300", "300", "100");
        dialog.accept();
        QCOMPARE(messages.texts().value(2), QStringLiteral("Start sector must be less than end sector"));
        QCOMPARE(dialog.startEdit()->text(), QStringLiteral("63"));
        QVERIFY(dialog.isVisible());
        // Nothing landed.
        QCOMPARE(settings().ScanStartSector, 63u);
        QCOMPARE(settings().ScanEndSector, 2111u);
        QCOMPARE(settings().RawSizeLimit, 512000);
        // Letters cannot be typed into the number fields.
        dialog.sizeEdit()->clear();
        QTest::keyClicks(dialog.sizeEdit(), QStringLiteral("1a2"));
        QCOMPARE(dialog.sizeEdit()->text(), QStringLiteral("12"));
    }

    void okWritesTheRangeTheLimitAndTheTypes() {
        testing::MessageRecorder messages;
        CRawOptionsDlg dialog(settings(), types_, nullptr);
        dialog.show();
        QTest::mouseClick(dialog.deselectAllButton(), Qt::LeftButton);
        dialog.typeList()->topLevelItem(1)->setCheckState(0, Qt::Checked);
        SetEdits(dialog, "100", "200", "1024");
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        QVERIFY(messages.texts().isEmpty());
        QCOMPARE(dialog.result(), int{QDialog::Accepted});
        QCOMPARE(settings().ScanStartSector, 100u);
        QCOMPARE(settings().ScanEndSector, 200u);
        QCOMPARE(settings().RawSizeLimit, 1024);
        // The selection keeps the partition; only the scan range moved.
        QCOMPARE(settings().PartitionFirstSector, 63u);
        QCOMPARE(settings().PartitionEndSector, 2111u);
        // Exactly the second row's entries are enabled.
        const std::string second = dialog.typeList()->topLevelItem(1)->text(1).toStdString();
        for (const SignatureEntry& entry : types_.entries())
            QCOMPARE(entry.enabled, entry.description == second);

        // Opened again: the stored range and the types as left.
        CRawOptionsDlg again(settings(), types_, nullptr);
        QCOMPARE(again.startEdit()->text(), QStringLiteral("100"));
        QCOMPARE(again.endEdit()->text(), QStringLiteral("200"));
        QCOMPARE(again.sizeEdit()->text(), QStringLiteral("1024"));
        QCOMPARE(again.typeList()->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(again.typeList()->topLevelItem(1)->checkState(0), Qt::Checked);
        QTest::mouseClick(again.selectAllButton(), Qt::LeftButton);
        again.reject();
        // Cancel changes nothing.
        for (const SignatureEntry& entry : types_.entries())
            QCOMPARE(entry.enabled, entry.description == second);
    }

    // Under the application's look the tick boxes are drawn light with a dark frame, not filled black.
    void tickBoxesAreDrawnAsBoxesUnderTheApplicationLook() {
        ui::skin::ApplyApplicationLook(*qApp);
        CRawOptionsDlg dialog(settings(), types_, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget* list = dialog.typeList();
        list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        list->topLevelItem(1)->setCheckState(0, Qt::Checked);
        const QImage shot = list->viewport()->grab().toImage();
        if (qEnvironmentVariableIsSet("LUMACORE_SHOT")) shot.save(qEnvironmentVariable("LUMACORE_SHOT"));
        for (int row = 0; row < 2; ++row) {
            const QRect cell = list->visualItemRect(list->topLevelItem(row));
            // The box sits at the cell's left, before the icon: its inner pixels.
            int dark = 0, seen = 0;
            for (int x = cell.left() + 2; x < cell.left() + 18; ++x) {
                for (int y = cell.top() + 2; y < cell.bottom() - 1; ++y) {
                    const QColor c = shot.pixelColor(x * shot.width() / list->viewport()->width(),
                                                     y * shot.height() / list->viewport()->height());
                    dark += c.alpha() > 128 && c.lightness() < 40;
                    ++seen;
                }
            }
            QVERIFY2(
                seen > 0 && dark * 3 < seen,
                qPrintable(QStringLiteral("row %1: %2 of %3 pixels black").arg(row).arg(dark).arg(seen)));
        }
        qApp->setStyleSheet(QString());
    }

    void theDefaultFactoryUsesTheApplicationsSignatureList() {
        CRecoveryApp app;
        ChooseSmallPartition(app.settings);
        ui::CDefaultResultPageFactory factory;
        // Answered from inside the modal loop: OK with the edits as shown.
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<CRawOptionsDlg*>(QApplication::activeModalWidget());
            if (dialog) {
                dialog->startEdit()->setText(QStringLiteral("64"));
                dialog->accept();
            }
        });
        QVERIFY(factory.RunRawOptions(nullptr, app.recoverySettings(), app.rawSignatures()));
        QCOMPARE(app.settings.ScanStartSector, 64u);
        QVERIFY(!app.rawTypeSelection.entries().empty());
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::RawOptionsDialogTest)
#include "raw_options_dialog_test.moc"
