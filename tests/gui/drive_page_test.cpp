// The drive page on real disk images: the tree each mode shows, selection, the information panel, the
// privilege message, attaching images, and the way on.
#include <QElapsedTimer>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>

#include "app/recovery_app.h"
#include "core/dos_date.h"
#include "core/scan_mode.h"
#include "core/size_text.h"
#include "gui/gui_test_support.h"
#include "ui/pages/drive_view_page.h"
#include "ui/pages/result_page_factory.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/busy_indicator.h"
#include "ui/widgets/drive_info_panel.h"
#include "unit/fake_device_map.h"

namespace lumacore {

using ui::CDriveViewPage;

namespace {

// The tree as indented lines: root, "  disk", "    partition".
QStringList TreeLines(const QTreeWidget* tree) {
    QStringList lines;
    QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(tree));
    for (; *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem* up = (*it)->parent(); up; up = up->parent()) ++depth;
        lines << QString(depth * 2, QLatin1Char(' ')) + (*it)->text(0);
    }
    return lines;
}

QTreeWidgetItem* Find(QTreeWidget* tree, const QString& text) {
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.front();
}

class CountingRawOptions final : public ui::ResultPageFactory {
public:
    ui::CPage* Create(ui::ResultPageKind, const ui::PageContext&, QWidget*) override { return nullptr; }
    bool RunRawOptions(QWidget*, RecoverySettings&, RawTypeSelection&) override {
        ++opened;
        return true;
    }
    int opened = 0;
};

}  // namespace

class DrivePageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CRecoveryApp> app_;
    testing::RecordingHost host_;

    // The page once its disk listing (on a worker thread) has come back.
    std::unique_ptr<CDriveViewPage> Open(int mode) {
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, mode}, nullptr);
        if (!testing::WaitIdle(*page)) return nullptr;
        return page;
    }

private Q_SLOTS:
    void init() {
        app_ = std::make_unique<CRecoveryApp>();
        QString error;
        QVERIFY2(app_->ConfigureDevices({testing::FixtureImage("mbr-modern2048"), testing::FixtureImage("mbr-empty")},
                                        false, &error),
                 qPrintable(error));
        host_.requests.clear();
    }
    void cleanup() { app_.reset(); }

    void eachModeListsThePartitionsItCanRead() {
        const QString disk1 = QStringLiteral("  Disk image mbr-modern2048.img (80.00 MB)");
        const QString disk2 = QStringLiteral("  Disk image mbr-empty.img (1.00 MB)");
        const QStringList lettered = {
            QStringLiteral("    (C:\\) FAT (12.00 MB)"), QStringLiteral("    (D:\\) FAT32 (34.00 MB)"),
            QStringLiteral("    (E:\\) NTFS (8.00 MB)"), QStringLiteral("    (F:\\) FAT (4.00 MB)")};
        const QString ext3 = QStringLiteral("    (*:\\) EXT3 (8.00 MB)");

        auto deleted = Open(SCAN_DELETED);
        QCOMPARE(TreeLines(deleted->tree()),
                 (QStringList{QStringLiteral("My Computer"), disk1} + lettered + QStringList{ext3, disk2}));

        // No EXT volume in the formatted-drive mode.
        auto formatted = Open(SCAN_FORMATTED);
        QCOMPARE(TreeLines(formatted->tree()),
                 (QStringList{QStringLiteral("My Computer"), disk1} + lettered + QStringList{disk2}));

        // The whole disk and every record, gaps included, for the signature search.
        auto raw = Open(SCAN_RAW);
        QCOMPARE(TreeLines(raw->tree()),
                 (QStringList{QStringLiteral("My Computer"), disk1, QStringLiteral("    (*:\\) Whole Disk (80.00 MB)")} +
                  lettered +
                  QStringList{QStringLiteral("    (*:\\) Deleted (992.50 KB)"), ext3,
                              QStringLiteral("    (*:\\) Deleted (9.97 MB)"), disk2,
                              QStringLiteral("    (*:\\) Whole Disk (1.00 MB)")}));
    }

    void theRootStartsSelectedAndExpandedWithNextAndOptionOff() {
        auto page = Open(SCAN_DELETED);
        QTreeWidgetItem* root = page->tree()->topLevelItem(0);
        QVERIFY(root->isSelected());
        QVERIFY(root->isExpanded());
        for (int i = 0; i < root->childCount(); ++i) QVERIFY(root->child(i)->isExpanded());
        QVERIFY(!page->nextButton()->isEnabled());
        QVERIFY(!page->optionButton()->isEnabled());
        QVERIFY(page->panel()->texts().isEmpty());
        QVERIFY(!page->selectedDisk() && !page->selectedPartition());
    }

    void selectingAPartitionChoosesItAndEnablesTheWayOn() {
        auto page = Open(SCAN_DELETED);
        QTreeWidgetItem* item = Find(page->tree(), QStringLiteral("(D:\\) FAT32 (34.00 MB)"));
        QVERIFY(item);
        page->tree()->setCurrentItem(item);
        QVERIFY(page->selectedPartition());
        QVERIFY(!page->selectedDisk());
        QVERIFY(page->nextButton()->isEnabled());
        QVERIFY(page->optionButton()->isEnabled());

        const RecoverySettings& s = app_->settings;
        const PartitionInfo& p = *page->selectedPartition();
        QCOMPARE(s.SelectedPartition, p);
        QCOMPARE(QString::fromStdString(s.SelectedPartition.FsName()), QStringLiteral("FAT32"));
        QCOMPARE(s.VolumeRoot, std::string("D:\\"));
        QCOMPARE(s.ScanStartSector, p.startSector);
        QCOMPARE(s.PartitionFirstSector, p.startSector);
        QCOMPARE(s.ScanEndSector, p.startSector + static_cast<std::uint32_t>(p.totalBytes / 512));

        QCOMPARE(page->panel()->texts(),
                 (QStringList{QStringLiteral("Volume : %1").arg(QString::fromStdString(p.VolumeLabel())),
                              QStringLiteral("Start Sector : %1").arg(p.startSector),
                              QStringLiteral("Sectors / Cluster : %1").arg(p.sectorsPerCluster),
                              QStringLiteral("Byte/Sector : 512"),
                              QStringLiteral("Free Size : %1").arg(QString::fromStdString(SizeText(p.freeBytes))),
                              QStringLiteral("Total Size : 34.00 MB")}));
        // Used space in the FAT32 blue, then free space.
        QCOMPARE(page->panel()->slices().size(), std::size_t{2});
        QCOMPARE(page->panel()->slices()[0].colour, QColor(0, 0, 255));

        // Next asks for the result page of this mode; Back and Home lead home.
        QTest::mouseClick(page->nextButton(), Qt::LeftButton);
        QTest::mouseClick(page->backButton(), Qt::LeftButton);
        QTest::mouseClick(page->homeButton(), Qt::LeftButton);
        QCOMPARE(host_.requests, (std::vector<std::pair<int, int>>{{103, SCAN_DELETED}, {101, 0}, {101, 0}}));
    }

    void selectingADiskShowsItsSummaryAndDisablesTheWayOn() {
        auto page = Open(SCAN_DELETED);
        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("(E:\\) NTFS (8.00 MB)")));
        QVERIFY(page->nextButton()->isEnabled());

        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("Disk image mbr-modern2048.img (80.00 MB)")));
        QVERIFY(page->selectedDisk());
        QVERIFY(!page->selectedPartition());
        QVERIFY(!page->nextButton()->isEnabled());
        QVERIFY(!page->optionButton()->isEnabled());
        QCOMPARE(page->panel()->texts(), (QStringList{QStringLiteral("Model : Disk image mbr-modern2048.img"),
                                                      QStringLiteral("Drive Size : 80.00 MB"),
                                                      QStringLiteral("Count of partitions : 5")}));
        // One slice per listed partition, its share of the disk, in its file system's colour.
        const auto& slices = page->panel()->slices();
        QCOMPARE(slices.size(), std::size_t{5});
        QCOMPARE(slices[0].colour, QColor(0, 255, 0));      // FAT
        QCOMPARE(slices[1].colour, QColor(0, 0, 255));      // FAT32
        QCOMPARE(slices[2].colour, QColor(255, 0, 255));    // NTFS
        QCOMPARE(slices[4].colour, QColor(120, 120, 0));    // EXT3
        QVERIFY(qAbs(slices[1].share - 34.0 / 80.0) < 1e-9);

        // The root again: nothing chosen, the last partition choice kept in the settings.
        page->tree()->setCurrentItem(page->tree()->topLevelItem(0));
        QVERIFY(!page->selectedDisk() && !page->selectedPartition());
        QCOMPARE(QString::fromStdString(app_->settings.SelectedPartition.FsName()), QStringLiteral("NTFS"));
    }

    void aDiskWithNothingListedIsNotAccessible() {
        // mbr-empty has no partition at all; in the formatted-drive mode the EXT3 disk would do as well.
        auto page = Open(SCAN_DELETED);
        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("Disk image mbr-empty.img (1.00 MB)")));
        QCOMPARE(page->panel()->texts().value(2), QStringLiteral("This device is not accessible"));
        QVERIFY(page->panel()->slices().empty());
    }

    void panelTextsFollowTheSizeRule() {
        DiskInfo disk;
        disk.SetModel("WDC WD5000AAKX");
        disk.sizeBytes = 500107862016ULL;
        QCOMPARE(ui::DiskPanelTexts(disk, 2),
                 (QStringList{QStringLiteral("Model : WDC WD5000AAKX"), QStringLiteral("Drive Size : 465.76 GB"),
                              QStringLiteral("Count of partitions : 2")}));
        // A start sector past 2^31 is shown as the unsigned number it is.
        PartitionInfo p;
        p.startSector = 0x80000000u;
        QCOMPARE(ui::PartitionPanelTexts(p).value(1), QStringLiteral("Start Sector : 2147483648"));
        // A table that claims more than the disk holds never makes the chart overflow.
        PartitionInfo big;
        big.SetFsName("NTFS");
        big.totalBytes = disk.sizeBytes * 2;
        const auto slices = ui::DiskPieSlices(disk, {big, big});
        QCOMPARE(slices.size(), std::size_t{1});
        QCOMPARE(slices[0].share, 1.0);
        QCOMPARE(ui::PartitionColour("FAT12"), QColor(255, 255, 0));
        QCOMPARE(ui::PartitionColour("EXT2"), QColor(0, 255, 255));
        QCOMPARE(ui::PartitionColour("#NTFS#"), QColor(190, 190, 190));
    }

    void theFilterIsResetWhenThePageOpensExceptTheDate() {
        FilterSettings& f = app_->settings.Filter;
        f.category = 3;
        f.extensionList = "bmp.gif";
        f.date = DosDate(2011, 12, 31);
        f.dateMode = FilterSettings::kDateAfter;
        f.sizeValue1 = 4;
        f.sizeValue2 = 9;
        f.sizeMode = FilterSettings::kSizeBetween;
        f.nameText = "report";
        auto page = Open(SCAN_FORMATTED);
        FilterSettings expected;
        expected.date = DosDate(2011, 12, 31);
        QCOMPARE(f.category, 0);
        QCOMPARE(f.extensionList, std::string());
        QCOMPARE(f.nameText, std::string());
        QCOMPARE(f.dateMode, 0);
        QCOMPARE(f.sizeMode, 0);
        QCOMPARE(f.sizeValue1, 0.0);
        QCOMPARE(f.sizeValue2, 0.0);
        QCOMPARE(f.date, expected.date);
    }

    void missingRightsAreToldOnceThePageIsUp() {
        auto devices = std::make_shared<testing::FakeDeviceMap>();
        devices->AddDisk(2048);
        devices->disk(0).accessDenied = true;
        app_->UseDevices(devices);
        testing::MessageRecorder messages;
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, SCAN_DELETED}, nullptr);
        // Told once the listing (and the check, on the same worker) is back, not while the page is made.
        QVERIFY(messages.texts().isEmpty());
        QVERIFY(testing::WaitIdle(*page));
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Please run this product as Administrator!")});
        QCOMPARE(messages.messages()[0].first, QStringLiteral("Vexa"));

        // With rights, no message.
        devices->disk(0).accessDenied = false;
        testing::MessageRecorder quiet;
        auto again = Open(SCAN_DELETED);
        QTest::qWait(20);
        QVERIFY(quiet.texts().isEmpty());
    }

    void attachingAnImageListsItAndABadOneIsRefused() {
        auto page = Open(SCAN_DELETED);
        QVERIFY(page->AttachImage(QString::fromStdString(testing::FixtureImage("whole-fat16"))));
        QVERIFY(testing::WaitIdle(*page));
        QVERIFY(Find(page->tree(), QStringLiteral("Disk image whole-fat16.img (16.00 MB)")));
        // The whole-disk FAT volume takes the next letter after the first image's four.
        QVERIFY(Find(page->tree(), QStringLiteral("(G:\\) FAT (16.00 MB)")));
        QCOMPARE(app_->images().size(), std::size_t{3});

        testing::MessageRecorder messages;
        const QStringList before = TreeLines(page->tree());
        QVERIFY(!page->AttachImage(QStringLiteral("/nonexistent/disk.img")));
        QVERIFY(!page->busy());
        QCOMPARE(messages.texts().size(), 1);
        QVERIFY(messages.texts()[0].contains(QStringLiteral("/nonexistent/disk.img")));
        QCOMPARE(TreeLines(page->tree()), before);
        QCOMPARE(app_->images().size(), std::size_t{3});

        // The images stay attached for the pages that come after.
        auto next = Open(SCAN_RAW);
        QVERIFY(Find(next->tree(), QStringLiteral("Disk image whole-fat16.img (16.00 MB)")));
    }

    void theWholeDiskIsChosenLikeAPartitionInTheRawMode() {
        auto page = Open(SCAN_RAW);
        QTreeWidgetItem* disk = Find(page->tree(), QStringLiteral("Disk image mbr-empty.img (1.00 MB)"));
        QVERIFY(disk);
        // A disk whose table holds nothing still has its whole-disk item, and only that one.
        QCOMPARE(disk->childCount(), 1);
        page->tree()->setCurrentItem(disk->child(0));
        QVERIFY(page->nextButton()->isEnabled());
        QVERIFY(page->optionButton()->isEnabled());
        const RecoverySettings& s = app_->settings;
        QCOMPARE(s.PartitionFirstSector, 0u);
        QCOMPARE(s.ScanStartSector, 0u);
        QCOMPARE(s.PartitionEndSector, 2048u);
        QCOMPARE(s.ScanEndSector, 2048u);
        QCOMPARE(s.SelectedPartition.diskNumber, 1);
        QCOMPARE(s.SelectedPartition.driveLetter, '*');
        // The disk's own summary counts partitions only.
        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("Disk image mbr-modern2048.img (80.00 MB)")));
        QCOMPARE(page->panel()->texts().value(2), QStringLiteral("Count of partitions : 7"));
        // The other modes have no such item.
        auto deleted = Open(SCAN_DELETED);
        QVERIFY(!Find(deleted->tree(), QStringLiteral("(*:\\) Whole Disk (1.00 MB)")));
    }

    void theListingOfASlowDiskLeavesTheWindowResponsive() {
        // Every device question takes 40 ms: the listing of the two images takes a good part of a second.
        auto slow = std::make_shared<testing::SlowDeviceMap>(app_->devices(), std::chrono::milliseconds(40));
        app_->UseDevices(slow);
        QElapsedTimer clock;
        clock.start();
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, SCAN_DELETED}, nullptr);
        // The page is made at once and says that it is busy; nothing can be chosen yet.
        QVERIFY(clock.elapsed() < 40);
        QVERIFY(page->busy());
        QVERIFY(page->busyIndicator() && page->busyIndicator()->isVisibleTo(page.get()));
        QCOMPARE(page->busyIndicator()->text(), QString::fromLatin1(CDriveViewPage::kListingText));
        QCOMPARE(TreeLines(page->tree()), QStringList{QStringLiteral("My Computer")});
        QVERIFY(!page->nextButton()->isEnabled());

        // The UI thread goes on with its events all along: a 10 ms timer never waits long.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (ticks++ > 0) longestGap = std::max(longestGap, sinceTick.elapsed());
            sinceTick.restart();
        });
        timer.start(10);
        QVERIFY(testing::WaitIdle(*page));
        timer.stop();
        QVERIFY2(slow->queries() >= 4, qPrintable(QString::number(slow->queries())));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY2(longestGap < 150, qPrintable(QString::number(longestGap)));

        // The result arrives: the same tree as from a quick disk, the busy sign gone.
        QVERIFY(!page->busyIndicator()->isVisibleTo(page.get()));
        QVERIFY(Find(page->tree(), QStringLiteral("(D:\\) FAT32 (34.00 MB)")));
        QVERIFY(Find(page->tree(), QStringLiteral("Disk image mbr-empty.img (1.00 MB)")));
        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("(D:\\) FAT32 (34.00 MB)")));
        QVERIFY(page->nextButton()->isEnabled());
    }

    void aListingWaitingOnADiskStaysBusyUntilItAnswers() {
        auto slow = std::make_shared<testing::SlowDeviceMap>(app_->devices(), std::chrono::milliseconds(0));
        slow->CloseGate();
        app_->UseDevices(slow);
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, SCAN_DELETED}, nullptr);
        QTRY_COMPARE(slow->waiting(), 1);
        // However long the disk takes, the page only waits.
        QTest::qWait(50);
        QVERIFY(page->busy());
        QCOMPARE(TreeLines(page->tree()), QStringList{QStringLiteral("My Computer")});
        slow->OpenGate();
        QVERIFY(testing::WaitIdle(*page));
        QVERIFY(Find(page->tree(), QStringLiteral("Disk image mbr-modern2048.img (80.00 MB)")));
    }

    void leavingThePageStopsItsListing() {
        auto slow = std::make_shared<testing::SlowDeviceMap>(app_->devices(), std::chrono::milliseconds(0));
        slow->CloseGate();
        app_->UseDevices(slow);
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, SCAN_DELETED}, nullptr);
        QTRY_COMPARE(slow->waiting(), 1);
        // The page goes while the first disk has not answered: it does not wait for it.
        QElapsedTimer clock;
        clock.start();
        page.reset();
        QVERIFY(clock.elapsed() < 100);
        slow->OpenGate();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        // The listing stopped after that disk (asked twice: its descriptor, then its size): no other disk
        // and no volume was asked about.
        QCOMPARE(slow->queries(), 2);
    }

    void anotherListingReplacesTheOneUnderWay() {
        auto slow = std::make_shared<testing::SlowDeviceMap>(app_->devices(), std::chrono::milliseconds(0));
        slow->CloseGate();
        app_->UseDevices(slow);
        auto page = std::make_unique<CDriveViewPage>(ui::PageContext{*app_, host_, SCAN_RAW}, nullptr);
        QTRY_COMPARE(slow->waiting(), 1);
        // Attaching an image lists again, from the new device map; the old listing is dropped.
        QVERIFY(page->AttachImage(QString::fromStdString(testing::FixtureImage("whole-fat16"))));
        QVERIFY(page->busy());
        slow->OpenGate();
        QVERIFY(testing::WaitIdle(*page));
        QVERIFY(Find(page->tree(), QStringLiteral("Disk image whole-fat16.img (16.00 MB)")));
        QVERIFY(Find(page->tree(), QStringLiteral("Disk image mbr-empty.img (1.00 MB)")));
        QThreadPool::globalInstance()->waitForDone();
    }

    void optionOpensTheRawOptionsInTheRawMode() {
        auto factory = std::make_unique<CountingRawOptions>();
        CountingRawOptions* raw = factory.get();
        app_->SetResultPageFactory(std::move(factory));
        auto page = Open(SCAN_RAW);
        page->tree()->setCurrentItem(Find(page->tree(), QStringLiteral("(*:\\) Deleted (9.97 MB)")));
        QVERIFY(page->optionButton()->isEnabled());
        QTest::mouseClick(page->optionButton(), Qt::LeftButton);
        QCOMPARE(raw->opened, 1);
        QCOMPARE(QString::fromStdString(app_->settings.SelectedPartition.FsName()), QStringLiteral("Deleted"));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::DrivePageTest)
#include "drive_page_test.moc"
