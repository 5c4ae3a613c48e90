// The partition page on disks made with sfdisk and mkfs.fat whose entries were removed with
// `sfdisk --delete`: the search fills the candidates, a restore writes exactly what its plan says and is
// undone from the page, and backups go round through the page's list.
#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>
#include <fstream>
#include <set>

#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "disk/drive_tree_text.h"
#include "gui/gui_test_support.h"
#include "integration/image_fixture.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "ui/pages/partition_page.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/candidate_list.h"
#include "ui/widgets/disk_list_box.h"
#include "ui/widgets/busy_indicator.h"
#include "ui/widgets/partition_chart.h"

namespace lumacore {

using testing::RunCommand;
using testing::ShellQuote;
using ui::CPartitionPage;

namespace {

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::set<std::size_t> ChangedSectors(const std::vector<char>& x, const std::vector<char>& y) {
    std::set<std::size_t> sectors;
    for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
        if (x[i] != y[i]) sectors.insert(i / 512);
    }
    return sectors;
}

// A 64 MiB disk with FAT16 partitions; entry `lost` is deleted afterwards (its volume stays).
std::string MakeDisk(const QString& folder, const std::string& name, const std::string& layout,
                     const std::vector<std::pair<std::uint32_t, std::uint32_t>>& volumes, int lost) {
    const std::string image = (folder + QLatin1Char('/')).toStdString() + name;
    const std::string img = ShellQuote(image);
    std::string command = "truncate -s 64M " + img + " && printf '" + layout +
                          "' | sfdisk -q --no-reread --no-tell-kernel " + img;
    for (const auto& [start, sectors] : volumes) {
        command += " && mkfs.fat -F 16 -h " + std::to_string(start) + " --offset=" + std::to_string(start) +
                   " " + img + " " + std::to_string(sectors / 2) + " >/dev/null 2>&1";
    }
    command += " && sfdisk -q --delete " + img + " " + std::to_string(lost);
    return RunCommand(command).status == 0 ? image : std::string();
}

// Answers every question with `answer` for the life of the object.
class Answers {
  public:
    explicit Answers(QMessageBox::StandardButton answer) {
        ui::SetQuestionObserver([this, answer](const QString& caption, const QString& text) {
            asked << caption + QStringLiteral(": ") + text;
            return answer;
        });
    }
    ~Answers() { ui::SetQuestionObserver({}); }
    QStringList asked;
};

int RowOfStart(const CPartitionPage& page, std::uint32_t start) {
    for (int i = 0; i < page.candidateList()->count(); ++i) {
        const int index = page.candidateList()->item(i)->data(Qt::UserRole).toInt();
        if (page.candidates().at(static_cast<std::size_t>(index)).startSector == start) return i;
    }
    return -1;
}

}  // namespace

class PartitionPageTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir scratch_;
    std::string primary_;  // the second of two primary partitions lost
    std::string logical_;  // a logical partition at a MiB boundary inside a larger gap lost
    std::unique_ptr<CRecoveryApp> app_;
    testing::RecordingHost host_;

    // The page once its disk list (read on a worker thread) is in.
    std::unique_ptr<CPartitionPage> Open(const std::vector<std::string>& images) {
        QString error;
        if (!app_->ConfigureDevices(images, false, &error)) return nullptr;
        auto page = std::make_unique<CPartitionPage>(ui::PageContext{*app_, host_, SCAN_PARTITION}, nullptr);
        if (!testing::WaitIdle(*page)) return nullptr;
        return page;
    }

    // The headline of the last run summary, and its whole text.
    static QString Headline(const testing::MessageRecorder& messages) {
        return messages.texts().value(messages.texts().size() - 1).section(QStringLiteral("\n\n"), 0, 0);
    }

    // A copy of a disk to restore on, so that every test starts from the lost partition.
    std::string CopyOf(const std::string& disk, const char* name) {
        const std::string copy = (scratch_.path() + QLatin1Char('/') + QLatin1String(name)).toStdString();
        std::filesystem::copy_file(disk, copy, std::filesystem::copy_options::overwrite_existing);
        return copy;
    }

  private Q_SLOTS:
    void initTestCase() {
        for (const char* tool : {"sfdisk", "mkfs.fat"}) {
            if (!testing::ToolAvailable(tool)) QSKIP("sfdisk and mkfs.fat are needed");
        }
        // Undo files and backups go to a folder of the test's own.
        qputenv("XDG_DATA_HOME", (scratch_.path() + QStringLiteral("/data")).toLocal8Bit());
        primary_ =
            MakeDisk(scratch_.path(), "primary.img",
                     "label: dos\\nstart=2048, size=20480, type=6\\nstart=22528, size=20480, type=6\\n",
                     {{2048, 20480}, {22528, 20480}}, 2);
        logical_ = MakeDisk(
            scratch_.path(), "logical.img",
            "label: dos\\nstart=2048, size=20480, type=6\\nstart=22528, type=5\\nstart=24576, size=20480, "
            "type=6\\nstart=47104, size=20480, type=6\\n",
            {{2048, 20480}, {24576, 20480}, {47104, 20480}}, 6);
        QVERIFY(!primary_.empty());
        QVERIFY(!logical_.empty());
    }

    void init() {
        app_ = std::make_unique<CRecoveryApp>();
        host_.requests.clear();
    }
    void cleanup() { app_.reset(); }

    void theDiskListAndTheEmptyPage() {
        testing::MessageRecorder messages;
        auto page = Open({primary_, logical_});
        QCOMPARE(page->diskList()->count(), 2);
        QCOMPARE(page->diskList()->currentIndex(), 0);
        QVERIFY(page->diskList()->currentText().startsWith(
            QStringLiteral("Disk image primary.img (  BusType :  ")));
        QVERIFY(page->diskList()->currentText().endsWith(QStringLiteral(" ,    Size :  64.00 MB  )")));
        QVERIFY(!page->nextButton()->isEnabled());
        // First row Auto Scan, last row "Add backup file...".
        QTreeWidget* list = page->backupList();
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("  Auto Scan ...    "));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("(If you haven't any backup file)"));
        QCOMPARE(list->topLevelItem(list->topLevelItemCount() - 1)->text(0),
                 QStringLiteral("  Add backup file..."));
        QCOMPARE(list->topLevelItem(list->topLevelItemCount() - 1)->text(1),
                 QStringLiteral("(If you have backup files)"));
        // The chart shows the present partition and the gaps, each from its place on the 64 MiB disk.
        const auto& segments = page->chart()->volumeSegments();
        QVERIFY(segments.size() >= 2);
        QCOMPARE(segments[0].label, QStringLiteral("C: FAT"));
        const double bar = page->chart()->width() - 2 * ui::CPartitionChart::kBarMargin;
        QVERIFY(qAbs(segments[0].left - (8 + bar * 2048.0 / 131072)) < 0.01);
        QVERIFY(qAbs(segments[0].right - (segments[0].left + bar * 20480.0 / 131072 - 1)) < 0.01);
        // Nothing to restore yet: the code's message heads the restore's summary, which says why nothing
        // was written.
        Answers ok(QMessageBox::Ok);
        page->OnRecovery();
        QVERIFY(!page->busy());
        QCOMPARE(messages.messages()[0].first, QStringLiteral("Error"));
        QCOMPARE(Headline(messages), QStringLiteral("Select the partition you want recover"));
        QVERIFY(messages.texts()[0].contains(QStringLiteral("Written: 0 sectors (")));
        QVERIFY(messages.texts()[0].contains(QStringLiteral("Nothing was written. The restore was refused")));

        // The other sizes of the list's text.
        DiskInfo big;
        big.SetModel("WDC WD5000AAKX");
        big.busType = kBusSata;
        big.sizeBytes = 500107862016ULL;
        QCOMPARE(QString::fromStdString(DiskListItemText(big)),
                 QStringLiteral("WDC WD5000AAKX (  BusType :  SATA ,    Size :  465.76 GB  )"));
        big.sizeBytes = 1536;
        big.busType = kBusUsb;
        QCOMPARE(QString::fromStdString(DiskListItemText(big)),
                 QStringLiteral("WDC WD5000AAKX(  BusType :   USB ,    Size :  1.50 KB  )"));
        big.sizeBytes = 512;
        QCOMPARE(QString::fromStdString(DiskListItemText(big)),
                 QStringLiteral("WDC WD5000AAKX (  BusType :  USB ,    Size :  512 B  )"));
    }

    void autoScanFindsTheLostPrimaryAndARestoreWritesWhatItsPlanSays() {
        testing::MessageRecorder messages;
        const std::string copy = CopyOf(primary_, "primary-copy.img");
        const std::vector<char> before = ReadAll(copy);
        auto page = Open({copy});

        // The Auto Scan row, as a double-click runs it.
        page->OnBackupRowActivated(page->backupList()->topLevelItem(0));
        QCOMPARE(page->candidateList()->count(), static_cast<int>(page->candidates().size()));
        const int row = RowOfStart(*page, 22528);
        QVERIFY(row >= 0);
        const PartitionInfo found = page->candidates()[static_cast<std::size_t>(
            page->candidateList()->item(row)->data(Qt::UserRole).toInt())];
        QCOMPARE(QString::fromStdString(found.FsName()), QStringLiteral("FAT16"));
        QCOMPARE(ui::CandidateRowTexts(found),
                 (QStringList{QStringLiteral("*:  FAT16"), QStringLiteral("Start Sector : 22528"),
                              QStringLiteral("End Sector : %1").arg(22528 + found.totalBytes / 512 - 1)}));
        page->candidateList()->setCurrentRow(row);
        QCOMPARE(page->chart()->candidateSegments().size(), std::size_t{1});
        QCOMPARE(page->chart()->candidateSegments()[0].label, QStringLiteral("*: FAT16"));

        // The plan, checked before anything is written: the boot sector and the master boot record.
        const RestorePlan plan = PlanRestore(page->inventory(), *app_->devices(), 0, found);
        QCOMPARE(plan.result, int{kRestoreDone});
        std::set<std::size_t> planned;
        for (const SectorWrite& write : plan.writes) planned.insert(write.sector);
        QCOMPARE(planned, (std::set<std::size_t>{0, 22528}));

        // Cancel on the warning writes nothing.
        {
            Answers cancel(QMessageBox::Cancel);
            page->OnRecovery();
            QCOMPARE(cancel.asked.value(0),
                     QStringLiteral("Warning: This operation is very dangerous, Are you sure to continue?"));
        }
        QVERIFY(ChangedSectors(before, ReadAll(copy)).empty());

        Answers ok(QMessageBox::Ok);
        page->OnRecovery();
        // The restore runs on a worker: the page is busy and nothing else can start meanwhile.
        QVERIFY(page->busy());
        QVERIFY(!page->recoveryButton()->isEnabled());
        QVERIFY(!page->backButton()->isEnabled());
        QVERIFY(testing::WaitIdle(*page));
        QVERIFY(page->recoveryButton()->isEnabled());
        QVERIFY(page->backButton()->isEnabled());
        const std::vector<char> after = ReadAll(copy);
        // Only the table changed: the boot sector written back is the one already there.
        QCOMPARE(ChangedSectors(before, after), (std::set<std::size_t>{0}));
        // The summary: the message as its headline, then what was written where.
        QCOMPARE(messages.messages().back().first, QStringLiteral("Recovery Success!"));
        QCOMPARE(Headline(messages),
                 QStringLiteral("The partition has been recovered successfully. The disk is an image file: "
                                "nothing needs restarting."));
        const QString summary = messages.texts().back();
        QVERIFY(summary.contains(QStringLiteral("Written: 2 sectors (1.00 KB)")));
        QVERIFY(summary.contains(QStringLiteral("Disk: Disk image primary-copy.img (disk 0)")));
        QVERIFY(summary.contains(QStringLiteral("Sector 0: ")));
        QVERIFY(summary.contains(QStringLiteral("Sector 22528: ")));
        QVERIFY(std::filesystem::exists(page->lastUndoFile()));
        QVERIFY(summary.contains(QStringLiteral("Undo file: %1").arg(QString::fromStdString(page->lastUndoFile().string()))));
        QVERIFY(!summary.contains(QStringLiteral("Nothing was written")));
        // Auto Scan sizes a partition found at a gap's start to the whole gap.
        QVERIFY(RunCommand("sfdisk -d " + ShellQuote(copy))
                    .output.find("start=       22528, size=      108544, type=6") != std::string::npos);
        if (testing::ToolAvailable("mdir"))
            QCOMPARE(RunCommand("mdir -i " + ShellQuote(copy) + "@@" + std::to_string(22528 * 512) +
                                " :: >/dev/null")
                         .status,
                     0);
        // The page reads the disk again: the chart shows the partition back in the table.
        bool listed = false;
        for (const PartitionInfo& record : page->inventory().volumes)
            listed |= record.startSector == 22528 && record.FsName() != "Deleted";
        QVERIFY(listed);
        // The candidates stay as they were.
        QCOMPARE(page->candidateList()->count(), static_cast<int>(page->candidates().size()));

        // Undo from the page puts the image back exactly; a second undo finds nothing left to undo.
        page->OnUndo();
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(ReadAll(copy), before);
        QCOMPARE(messages.messages().back().first, QStringLiteral("Undo finished"));
        QVERIFY(Headline(messages).startsWith(QString::fromLatin1(CPartitionPage::kUndoneMessage)));
        QVERIFY(messages.texts().back().contains(QStringLiteral("Written: 2 sectors (1.00 KB)")));
        QVERIFY(messages.texts().back().contains(
            QStringLiteral("Put back from: %1").arg(QString::fromStdString(page->lastUndoFile().string()))));
        page->OnUndo();
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(messages.messages().back().first, QStringLiteral("Nothing to undo"));
        QCOMPARE(Headline(messages), QString::fromLatin1(CPartitionPage::kNoUndoMessage));
        QVERIFY(messages.texts().back().contains(QStringLiteral("Nothing was written. No undo file of this disk")));
        QCOMPARE(ReadAll(copy), before);
    }

    void candidatesThatCannotBeRestoredGiveTheirCodes() {
        testing::MessageRecorder messages;
        Answers ok(QMessageBox::Ok);
        const std::string copy = CopyOf(primary_, "codes-copy.img");
        const std::vector<char> before = ReadAll(copy);
        auto page = Open({copy});
        QVERIFY(page->AutoScan());
        // A gap without a boot sector stays "Deleted": invalid. A present volume lies in no gap. Each
        // refusal heads a summary that says nothing was written.
        int tried = 0;
        for (int i = 0; i < page->candidateList()->count(); ++i) {
            const PartitionInfo& c = page->candidates()[static_cast<std::size_t>(i)];
            if (c.FsName() != "Deleted" && c.FsName() != "FAT") continue;
            page->candidateList()->setCurrentRow(i);
            page->OnRecovery();
            QVERIFY(testing::WaitIdle(*page));
            QCOMPARE(messages.messages().back().first, QStringLiteral("Error"));
            QCOMPARE(Headline(messages), QString::fromLatin1(RestoreMessage(
                                             c.FsName() == "Deleted" ? kRestoreInvalidCandidate : kRestoreNoGap)));
            QVERIFY(messages.texts().back().contains(QStringLiteral("Nothing was written.")));
            ++tried;
        }
        QVERIFY(tried >= 2);
        page->candidateList()->setCurrentRow(RowOfStart(*page, 2048));
        page->OnRecovery();
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(
            Headline(messages),
            QStringLiteral("The partition selected can't be recovered. Please select the other partition."));
        QVERIFY(page->lastUndoFile().empty());
        QCOMPARE(ReadAll(copy), before);
    }

    void deepScanFindsALogicalPartitionInsideAGapAndRestoresIt() {
        testing::MessageRecorder messages;
        Answers ok(QMessageBox::Ok);
        const std::string copy = CopyOf(logical_, "logical-copy.img");
        const std::vector<char> before = ReadAll(copy);
        auto page = Open({copy});
        // The first sector of the gap holds nothing: Auto Scan offers no FAT16 there.
        QVERIFY(page->AutoScan());
        QCOMPARE(RowOfStart(*page, 47104), -1);
        page->OnBackupRowActivated(page->backupList()->topLevelItem(1));
        const int row = RowOfStart(*page, 47104);
        QVERIFY(row >= 0);
        page->candidateList()->setCurrentRow(row);
        page->OnRecovery();
        QVERIFY(testing::WaitIdle(*page));
        // A new extended boot record one track before it, linked from the last one.
        QCOMPARE(ChangedSectors(before, ReadAll(copy)), (std::set<std::size_t>{22528, 47041}));
        QVERIFY(RunCommand("sfdisk -d " + ShellQuote(copy))
                    .output.find("start=       47104, size=       20480") != std::string::npos);
        QVERIFY(messages.texts().back().contains(QStringLiteral("Sector 47041: ")));
        QVERIFY(messages.texts().back().contains(QStringLiteral("Table entry: ")));
        page->OnUndo();
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(ReadAll(copy), before);
    }

    void aSlowDiskListLeavesThePageResponsive() {
        QString error;
        QVERIFY(app_->ConfigureDevices({primary_, logical_}, false, &error));
        auto slow = std::make_shared<testing::SlowDeviceMap>(app_->devices(), std::chrono::milliseconds(0));
        slow->CloseGate();
        app_->UseDevices(slow);
        CPartitionPage page(ui::PageContext{*app_, host_, SCAN_PARTITION}, nullptr);
        QTRY_COMPARE(slow->waiting(), 1);
        // Listing: busy, nothing to choose or start, but the page can be left.
        QVERIFY(page.busy());
        QCOMPARE(page.busyIndicator()->text(), QString::fromLatin1(CPartitionPage::kListingText));
        QCOMPARE(page.diskList()->count(), 0);
        QVERIFY(!page.diskList()->isEnabled());
        QVERIFY(!page.backupButton()->isEnabled());
        QVERIFY(page.backButton()->isEnabled());
        // Events go on while the disk does not answer.
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(5);
        QTest::qWait(60);
        QVERIFY(ticks >= 3);
        QVERIFY(page.busy());
        slow->OpenGate();
        QVERIFY(testing::WaitIdle(page));
        QCOMPARE(page.diskList()->count(), 2);
        QVERIFY(page.diskList()->isEnabled());
        QVERIFY(page.backupButton()->isEnabled());
        QVERIFY(!page.busyIndicator()->isVisibleTo(&page));
        QVERIFY(page.chart()->volumeSegments().size() >= 2);
    }

    void theListsFitTheDesignedSize() {
        testing::MessageRecorder messages;
        auto page = Open({primary_, logical_});
        page->resize(ui::DesignedPageSize());
        page->show();
        // A backup kept far down a long folder path.
        const QString deep = scratch_.path() + QStringLiteral("/a/rather/long/folder/of/backups/kept/by/hand");
        QVERIFY(QDir().mkpath(deep));
        const QString file = deep + QStringLiteral("/Disk image primary.img-20250101-120000.pbf");
        QVERIFY(page->BackupTo(file));
        QVERIFY(testing::WaitIdle(*page));
        page->AddBackupFile(file);
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();

        // The disk list: each item on two lines, the model and then the bus and size, each within the
        // list's width; the one-line text stays the item's text and tip.
        ui::CDiskListBox* disks = page->diskList();
        QCOMPARE(disks->modelLine(0), QStringLiteral("Disk image primary.img"));
        QCOMPARE(disks->detailLine(0), QStringLiteral("Size : 64.00 MB"));
        QVERIFY(disks->itemText(0).startsWith(QStringLiteral("Disk image primary.img (  BusType :  ")));
        QCOMPARE(disks->itemData(0, Qt::ToolTipRole).toString(), disks->itemText(0));
        const int room = disks->width() - 40 - 40;  // the icon, and the arrow with the frame
        for (int i = 0; i < disks->count(); ++i) {
            QVERIFY(QFontMetrics(ui::skin::Font(12, QFont::DemiBold)).horizontalAdvance(disks->modelLine(i)) <= room);
            QVERIFY(QFontMetrics(ui::skin::Font(11)).horizontalAdvance(disks->detailLine(i)) <= room);
        }

        // The backup list does not scroll sideways: the paths take the rest of the row, the dates whole,
        // and a path that does not fit keeps its whole text as the tip.
        QTreeWidget* list = page->backupList();
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(list->header()->sectionSize(0) + list->header()->sectionSize(1), list->viewport()->width());
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(1) == file) row = list->topLevelItem(i);
        }
        QVERIFY(row);
        QCOMPARE(row->toolTip(1), file);
        QVERIFY(list->header()->sectionSize(0) >= list->fontMetrics().horizontalAdvance(row->text(0)));
    }

    void backupsGoRoundThroughThePage() {
        testing::MessageRecorder messages;
        auto page = Open({primary_});
        const DiskInfo disk = *page->selectedDisk();
        const QString folder = QString::fromStdString(UserBackupFolder().string());
        const QString path =
            folder + QStringLiteral("/") + QString::fromStdString(disk.Model()) + QStringLiteral("-test.pbf");
        QVERIFY(page->BackupTo(path));
        QVERIFY(page->busy());
        QVERIFY(testing::WaitIdle(*page));
        std::size_t records = 0;
        for (const PartitionInfo& v : page->inventory().volumes) records += v.diskNumber == disk.diskNumber;
        QCOMPARE(static_cast<std::size_t>(QFileInfo(path).size()), 4 + 288 + 600 * records);
        // The summary: the message first, then the file written and where.
        QCOMPARE(messages.messages().back().first, QStringLiteral("Success"));
        QCOMPARE(Headline(messages), QStringLiteral("Backup has done!"));
        const QString summary = messages.texts().back();
        QVERIFY(summary.contains(QStringLiteral("Written: 1 file (")));
        QVERIFY(summary.contains(QStringLiteral("Folder: %1").arg(folder)));
        QVERIFY(summary.contains(QStringLiteral("Backup file: %1").arg(path)));
        QVERIFY(summary.contains(QStringLiteral("Records: %1 of Disk image primary.img (disk 0)").arg(records)));

        // The list shows it (named after the disk, in the per-user folder) between the fixed rows.
        QTreeWidget* list = page->backupList();
        QTreeWidgetItem* row = nullptr;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(1) == path) row = list->topLevelItem(i);
        }
        QVERIFY(row);
        QVERIFY(row->text(0).startsWith(QStringLiteral("     20")));
        page->OnBackupRowActivated(row);
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(page->candidates().size(), records);
        for (std::size_t i = 0; i < records; ++i) {
            QCOMPARE(page->candidates()[i].startSector, page->inventory().volumes[i].startSector);
        }

        // A file of another length or magic, or of another disk: refused, the candidates unchanged.
        const QString outside = scratch_.path() + QStringLiteral("/elsewhere.pbf");
        QFile::remove(outside);
        QVERIFY(QFile::copy(path, outside));
        {
            QFile truncated(outside);
            QVERIFY(truncated.open(QIODevice::ReadWrite));
            truncated.resize(200);
        }
        page->AddBackupFile(outside);
        QCOMPARE(list->topLevelItem(list->topLevelItemCount() - 2)->text(1), outside);
        QCOMPARE(list->topLevelItem(list->topLevelItemCount() - 1)->text(0),
                 QStringLiteral("  Add backup file..."));
        QVERIFY(page->LoadBackupFile(outside));
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(messages.texts().back(), QStringLiteral("Can't load the Backup file!"));
        QCOMPARE(messages.messages().back().first, QStringLiteral("Vexa"));
        QCOMPARE(page->candidates().size(), records);
        // Exactly the header: loads, with no candidates.
        QFile::remove(outside);
        QVERIFY(QFile::copy(path, outside));
        {
            QFile header(outside);
            QVERIFY(header.open(QIODevice::ReadWrite));
            QVERIFY(header.resize(292));
        }
        QVERIFY(page->LoadBackupFile(outside));
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(page->candidates().size(), std::size_t{0});
        // A backup cannot be written where no file can be made: the summary says so, and why.
        const QString nowhere = scratch_.path() + QStringLiteral("/no/such/folder/x.pbf");
        QVERIFY(page->BackupTo(nowhere));
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(messages.messages().back().first, QStringLiteral("Error"));
        QCOMPARE(Headline(messages), QStringLiteral("Can't backup the disk!"));
        QVERIFY(messages.texts().back().contains(QStringLiteral("Nothing was written. %1 could not be written: ").arg(nowhere)));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::PartitionPageTest)
#include "partition_page_test.moc"
