// What a run writes and where: the /proc case that froze the program (file dialogs that read special
// files, a destination on a kernel file system), the summary after every recovery, and the faults a new
// user met on the way (partial ticks, the filtered found counter, Home throwing a scan away, the drive
// page's lost selection and empty tree, the EXT panel's labels, the repair folder that ignored typing).
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "gui/gui_test_support.h"
#include "gui/result_page_support.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/pages/drive_view_page.h"
#include "ui/pages/repair_log_page.h"
#include "ui/pages/repair_selection_page.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_tree_model.h"
#include "ui/shell.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/drive_info_panel.h"

namespace lumacore {

namespace {

const std::string kImage = "fat16-default";

bool IsFat(const PartitionInfo& v) {
    return v.FsName() == "FAT";
}

// Runs `call` on a thread of its own and says whether it came back within `seconds`: a call that blocks
// in read() on a kernel file would otherwise hang the test for good. (A call that never returns is left
// behind; the test has failed by then.)
bool ReturnsWithin(std::function<void()> call, int seconds) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([call = std::move(call), done] {
        call();
        done->store(true);
    }).detach();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done->load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done->load();
}

}  // namespace

class SafeOutputTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir out_;
    std::filesystem::path Out(const char* name) const {
        return std::filesystem::path(out_.path().toStdString()) / name;
    }

  private Q_SLOTS:
    void fileDialogsNeverOpenInAKernelFileSystem() {
        const QString home = QDir::homePath();
        QCOMPARE(ui::SafeStartFolder(QStringLiteral("/proc")), home);
        QCOMPARE(ui::SafeStartFolder(QStringLiteral("/proc/self")), home);
        QCOMPARE(ui::SafeStartFolder(QStringLiteral("/sys/kernel")), home);
        QCOMPARE(ui::SafeStartFolder(QStringLiteral("/no/such/folder")), home);
        QCOMPARE(ui::SafeStartFolder(out_.path()), out_.path());
        QFile file(out_.path() + QStringLiteral("/backup.pbf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(ui::SafeStartFolder(file.fileName()), out_.path());

        // A dialog asked to open in /proc opens at home, and /proc leaves its history.
        QFileDialog dialog;
        dialog.setHistory({QStringLiteral("/proc"), out_.path()});
        ui::PrepareFileDialog(dialog, QStringLiteral("/proc"));
        QCOMPARE(dialog.directory().absolutePath(), home);
        QVERIFY(dialog.history().contains(out_.path()));
        for (const QString& folder : dialog.history()) QVERIFY2(!folder.startsWith(QStringLiteral("/proc")), qPrintable(folder));
        QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    }

    // /proc/kmsg blocks a reader until the kernel logs something: naming its type or icon must not read
    // it (the desktop's provider sniffs the contents of a file whose name says nothing).
    void fileTypesComeFromNamesAlone() {
        ui::NameOnlyIconProvider provider;
        QString kmsgType, fifoType;
        QVERIFY(
            ReturnsWithin([&] { kmsgType = provider.type(QFileInfo(QStringLiteral("/proc/kmsg"))); }, 10));
        QCOMPARE(kmsgType, QStringLiteral("File"));
        QVERIFY(ReturnsWithin([&] { provider.icon(QFileInfo(QStringLiteral("/proc/kmsg"))); }, 10));
        const QString fifo = out_.path() + QStringLiteral("/pipe");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QVERIFY(ReturnsWithin([&] { fifoType = provider.type(QFileInfo(fifo)); }, 10));
        QCOMPARE(fifoType, QStringLiteral("File"));
        QVERIFY(provider.type(QFileInfo(out_.path() + QStringLiteral("/backup.pbf")))
                    .contains(QStringLiteral("PBF")));
        QCOMPARE(provider.type(QFileInfo(out_.path())), QStringLiteral("Folder"));
    }

    void aRecoveryIntoProcIsRefusedBeforeItRuns() {
        testing::ResultPageRig rig(testing::FixtureImage(kImage), IsFat);
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        rig.TickFolder(rig.Folder(QStringLiteral("Old Stuff")), true);
        testing::MessageRecorder messages;
        int summaries = 0;
        page->SetSummaryShower([&](const ui::RunSummary&) { ++summaries; });
        page->SetOverwriteAsker([](const QString&) { return OverwriteAnswer::Cancel; });
        for (const char* folder : {"/proc", "/sys", "/dev"}) {
            page->SetFolderChooser([folder](QWidget*) { return QString::fromLatin1(folder); });
            page->Recover();
        }
        QCOMPARE(messages.messages().size(), std::size_t{3});
        QVERIFY(messages.texts()[0].contains(QStringLiteral("system file system (proc)")));
        QVERIFY(messages.texts()[1].contains(QStringLiteral("(sysfs)")));
        QVERIFY(messages.texts()[2].contains(QStringLiteral("(devtmpfs)")));
        QCOMPARE(summaries, 0);  // nothing ran
    }

    void everyRecoveryEndsWithASummary() {
        testing::ResultPageRig rig(testing::FixtureImage(kImage), IsFat);
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        rig.TickFolder(rig.Folder(QStringLiteral("Old Stuff")), true);
        rig.RecoverInto(Out("first"));
        QCOMPARE(rig.summaries.size(), std::size_t{1});
        const ui::RunSummary& done = rig.summaries.back();
        QCOMPARE(done.written, std::uint64_t{3});
        QCOMPARE(done.bytes, std::uint64_t{2000 + 9270 + 600});
        QCOMPARE(done.failed, std::uint64_t{0});
        QVERIFY(!done.cancelled);
        QCOMPARE(done.folder.toStdString(), Out("first").string());
        QCOMPARE(ui::SummaryCaption(done), QStringLiteral("Recovery finished"));
        QVERIFY(ui::SummaryText(done).startsWith(QStringLiteral("Written: 3 files (11.59 KB)")));

        // Again into the same folder, keeping what is there: nothing written, and the summary says why.
        rig.RecoverInto(Out("first"), {OverwriteAnswer::No, OverwriteAnswer::No, OverwriteAnswer::No});
        const ui::RunSummary& kept = rig.summaries.back();
        QCOMPARE(kept.written, std::uint64_t{0});
        QCOMPARE(kept.kept, std::uint64_t{3});
        QVERIFY(
            ui::SummaryText(kept).contains(QStringLiteral("Nothing was written. Every file was already")));

        // Cancelled at the first question.
        rig.RecoverInto(Out("first"), {OverwriteAnswer::Cancel});
        const ui::RunSummary& cancelled = rig.summaries.back();
        QVERIFY(cancelled.cancelled);
        QCOMPARE(ui::SummaryCaption(cancelled), QStringLiteral("Recovery cancelled"));
        QVERIFY(ui::SummaryText(cancelled).contains(QStringLiteral("cancelled before any file was written")));

        // A run that could not start says so, and what the failures were.
        ui::RunSummary failed;
        failed.action = QStringLiteral("Backup");
        failed.reason = QStringLiteral("The disk could not be read.");
        QCOMPARE(ui::SummaryCaption(failed), QStringLiteral("Backup failed"));
        QVERIFY(ui::SummaryText(failed).contains(
            QStringLiteral("Nothing was written. The disk could not be read.")));
        ui::RunSummary some;
        some.action = QStringLiteral("Recovery");
        some.written = 1;
        some.failed = 20;
        for (int i = 0; i < 20; ++i) some.failures << QStringLiteral("file%1: I/O error").arg(i);
        const QString text = ui::SummaryText(some);
        QVERIFY(text.contains(QStringLiteral("Failed: 20 files")));
        QVERIFY(text.contains(QStringLiteral("file11: I/O error")));
        QVERIFY(!text.contains(QStringLiteral("file12: I/O error")));
        QVERIFY(text.contains(QStringLiteral("... and 8 more")));
    }

    void ticksFilterCountsAndLeavingTheResults() {
        testing::ResultPageRig rig(testing::FixtureImage(kImage), IsFat);
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        const auto& family = page->family();
        const QModelIndex root = page->treeModel().IndexOf(family.root());
        const ui::FolderId oldStuff = rig.Folder(QStringLiteral("Old Stuff"));
        rig.TickFolder(oldStuff, true);
        // Some files ticked: the root's box shows it, not a full tick.
        QCOMPARE(root.data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
        QCOMPARE(page->treeModel().IndexOf(oldStuff).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        rig.TickFolder(family.root(), true);
        QCOMPARE(root.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        rig.TickFolder(family.root(), false);
        QCOMPARE(root.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

        // With the filter on, the found counter counts what passes it, in the sub-folders too.
        page->SelectFolder(family.root());
        page->pageFilter().nameText = "deep";
        page->ApplyFilter(true);
        QCOMPARE(page->listModel().rowCount(), 0);              // the root's own files do not pass
        QCOMPARE(page->foundTotals().count, std::uint64_t{1});  // Old Stuff/Nested/deep note.txt does
        page->SelectFolder(oldStuff);
        QCOMPARE(page->foundTotals().count, std::uint64_t{1});
        page->ApplyFilter(false);
        QCOMPARE(page->foundTotals().count, std::uint64_t{3});

        // Home asks before it throws the scan away.
        {
            testing::MessageRecorder messages;  // answers No
            QTest::mouseClick(page->homeButton(), Qt::LeftButton);
            QCOMPARE(messages.texts(), QStringList{QString::fromLatin1(ui::CResultPage::kLeaveQuestion)});
        }
        QVERIFY(page->isVisible());
    }

    void leavingTheResultsWhenTheUserSaysSo() {
        testing::ResultPageRig rig(testing::FixtureImage(kImage), IsFat);
        ui::CResultPage* page = rig.Open(SCAN_DELETED);
        QVERIFY(page);
        QString asked;
        ui::SetQuestionObserver([&](const QString&, const QString& text) {
            asked = text;
            return QMessageBox::Yes;
        });
        QTest::mouseClick(page->homeButton(), Qt::LeftButton);
        ui::SetQuestionObserver({});
        QCOMPARE(asked, QString::fromLatin1(ui::CResultPage::kLeaveQuestion));
        QCOMPARE(rig.hostRequests().back(), (std::pair<int, int>{ui::PAGE_HOME, 0}));
    }

    void theDrivePageHintsAndRemembers() {
        testing::RecordingHost host;
        {
            CRecoveryApp app;  // no disk at all
            ui::CDriveViewPage page(ui::PageContext{app, host, SCAN_DELETED}, nullptr);
            QVERIFY(testing::WaitIdle(page));
            QTreeWidgetItem* root = page.tree()->topLevelItem(0);
            QVERIFY(root);
            QCOMPARE(root->childCount(), 1);
            QVERIFY(root->child(0)->text(0).contains(QStringLiteral("\"Add Image...\"")));
            QVERIFY(!(root->child(0)->flags() & Qt::ItemIsSelectable));
        }
        CRecoveryApp app;
        QString error;
        QVERIFY(app.ConfigureDevices({testing::FixtureImage(kImage)}, false, &error));
        {
            ui::CDriveViewPage page(ui::PageContext{app, host, SCAN_DELETED}, nullptr);
            QVERIFY(testing::WaitIdle(page));
            QVERIFY(!page.nextButton()->isEnabled());
            QTreeWidgetItem* disk = page.tree()->topLevelItem(0)->child(0);
            QVERIFY(disk && disk->childCount() > 0);
            page.tree()->setCurrentItem(disk->child(0));
            QVERIFY(page.nextButton()->isEnabled());
        }
        // Back from the result page builds the page anew: the partition is chosen again.
        ui::CDriveViewPage again(ui::PageContext{app, host, SCAN_DELETED}, nullptr);
        QVERIFY(testing::WaitIdle(again));
        QVERIFY(again.nextButton()->isEnabled());
        QCOMPARE(again.tree()->currentItem(), again.tree()->topLevelItem(0)->child(0)->child(0));
    }

    // Add Image... and drops open the file on the UI thread: a kernel file or a FIFO is refused first.
    void imagesThatWouldBlockAreRefused() {
        CRecoveryApp app;
        QString error;
        QVERIFY(!app.AttachImage(QStringLiteral("/proc/kmsg"), &error));
        QVERIFY2(error.contains(QStringLiteral("(proc)")), qPrintable(error));
        const QString fifo = out_.path() + QStringLiteral("/image-pipe");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QVERIFY(!app.AttachImage(fifo, &error));
        QVERIFY(error.contains(QStringLiteral("not a disk image file")));
        QVERIFY(app.images().empty());
        QVERIFY(app.AttachImage(QString::fromStdString(testing::FixtureImage(kImage)), &error));
    }

    void theExtPanelNamesBlocks() {
        PartitionInfo ext;
        ext.SetFsName("EXT2");
        ext.sectorsPerCluster = 8192;
        ext.bytesPerSector = 1024;
        const QStringList texts = ui::PartitionPanelTexts(ext);
        QCOMPARE(texts.value(2), QStringLiteral("Blocks / Group : 8192"));
        QCOMPARE(texts.value(3), QStringLiteral("Block Size : 1024"));
        PartitionInfo fat;
        fat.SetFsName("FAT32");
        fat.sectorsPerCluster = 8;
        fat.bytesPerSector = 512;
        QCOMPARE(ui::PartitionPanelTexts(fat).value(3), QStringLiteral("Byte/Sector : 512"));
    }

    void theRepairLogEndsWithItsSummary() {
        const QString log = QStringLiteral(
            "Selected file: a.dbx\r\nRepaired\r\n----\r\nSelected file: b.dbx\r\nRepair failed\r\n----\r\n");
        QCOMPARE(
            ui::RepairSummaryText(log, 3, QStringLiteral("/out")),
            QStringLiteral(
                "Repair finished: 1 of 3 repaired into /out, 1 failed, 1 not written (kept or cancelled)."));
        QCOMPARE(ui::RepairSummaryText(QString(), 0, QStringLiteral("/out")),
                 QStringLiteral("Repair finished: 0 of 0 repaired into /out."));
    }

    void theRepairFolderCanBeTypedAndProcIsRefused() {
        CRecoveryApp app;
        testing::RecordingHost host;
        ui::CDbxSelectionPage page(ui::PageContext{app, host, 0}, nullptr);
        page.AddFiles({QStringLiteral("/mail/Inbox.dbx")});
        page.outputEdit()->clear();
        QTest::keyClicks(page.outputEdit(), QStringLiteral("/proc"));
        QCOMPARE(page.outputEdit()->text(), QStringLiteral("/proc"));
        testing::MessageRecorder messages;
        page.OnNext();
        QCOMPARE(messages.messages().size(), std::size_t{1});
        QVERIFY(messages.texts()[0].contains(QStringLiteral("(proc)")));
        QVERIFY(host.requests.empty());
        page.outputEdit()->setText(out_.path());
        page.OnNext();
        QCOMPARE(app.settings.RepairOutputFolder, out_.path().toStdString());
        QCOMPARE(host.requests.size(), std::size_t{1});
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::SafeOutputTest)
#include "safe_output_test.moc"
