// The window, the home page and the moves between pages.
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "gui/gui_test_support.h"
#include "gui/result_placeholder_page.h"
#include "ui/dialogs/help_window.h"
#include "ui/pages/drive_view_page.h"
#include "ui/pages/result_page_factory.h"
#include "ui/shell.h"
#include "ui/skin/skin_button.h"
#include "unit/fake_device_map.h"

namespace lumacore {

using ui::ResultPageKind;

namespace {

// Makes placeholder pages, or none, and remembers what was asked of it.
class RecordingFactory final : public ui::ResultPageFactory {
  public:
    ui::CPage* Create(ResultPageKind kind, const ui::PageContext& context, QWidget* parent) override {
        created.push_back(kind);
        previousPageAlive.push_back(!last.isNull());
        if (fail) return nullptr;
        auto* page = new ui::CResultPlaceholderPage(kind, context, parent);
        last = page;
        return page;
    }
    bool RunRawOptions(QWidget*, RecoverySettings&, RawTypeSelection&) override { return true; }

    bool fail = false;
    std::vector<ResultPageKind> created;
    std::vector<bool> previousPageAlive;
    QPointer<ui::CPage> last;
};

PartitionInfo Volume(const char* fsName, char letter = 'D') {
    PartitionInfo p;
    p.SetFsName(fsName);
    p.driveLetter = letter;
    p.startSector = 2048;
    p.totalBytes = 8u << 20;
    return p;
}

}  // namespace

class NavigationTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<CRecoveryApp> app_;
    std::unique_ptr<CMainFrame> frame_;
    RecordingFactory* factory_ = nullptr;
    CHomeView* view() const { return frame_->view(); }

  private Q_SLOTS:
    void init() {
        app_ = std::make_unique<CRecoveryApp>();
        auto devices = std::make_shared<testing::FakeDeviceMap>();
        devices->AddDisk(2048, "Spare Disk");
        app_->UseDevices(devices);
        auto factory = std::make_unique<RecordingFactory>();
        factory_ = factory.get();
        app_->SetResultPageFactory(std::move(factory));
        frame_ = std::make_unique<CMainFrame>(*app_);
        frame_->setWindowTitle(QString::fromLatin1(ui::kProductTitle));
        frame_->show();
    }

    void cleanup() {
        frame_.reset();
        app_.reset();
    }

    void windowIsFramelessWithCaptionButtonsAndViewBelowTheStrip() {
        QCOMPARE(frame_->size(), QSize(785, 465));
        // The designed size is the smallest; the window grows from there (window_test).
        QCOMPARE(frame_->minimumSize(), QSize(785, 465));
        QVERIFY(frame_->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(frame_->windowTitle(), QStringLiteral("Lumacore Data Recovery"));
        QCOMPARE(frame_->minimizeButton()->geometry(), QRect(785 - 56, 2, 25, 17));
        QCOMPARE(frame_->closeButton()->geometry(), QRect(785 - 31, 2, 25, 17));
        QCOMPARE(view()->geometry(), QRect(0, 30, 785, 435));

        QPointer<CMainFrame> frame = frame_.get();
        frame_->setAttribute(Qt::WA_DeleteOnClose, false);
        QTest::mouseClick(frame_->closeButton(), Qt::LeftButton);
        QVERIFY(!frame_->isVisible());
    }

    void homePageOffersTheFourModesAndTheHomeButtons() {
        QCOMPARE(view()->pageKind(), int(ui::PAGE_HOME));
        QVERIFY(view()->homePageShown());
        const std::pair<int, const char*> buttons[] = {
            {600, "delete"}, {601, "partition"}, {602, "format"}, {603, "raw"}};
        for (const auto& [id, text] : buttons) {
            ui::CSkinButton* button = view()->modeButton(id);
            QVERIFY(button);
            QCOMPARE(button->text(), QString::fromLatin1(text));
            QVERIFY(button->isVisible());
        }
        QVERIFY(view()->homeButton()->isVisible());
        QVERIFY(view()->helpButton()->isVisible());
        QVERIFY(view()->aboutButton()->isVisible());
    }

    void modeButtonOpensTheDrivePageAndKeepsTheSelection() {
        const PartitionInfo chosen = Volume("NTFS", 'E');
        app_->settings.SelectPartition(chosen);
        app_->settings.RecoveryCategory = 3;
        const std::pair<int, int> modes[] = {{600, SCAN_DELETED}, {602, SCAN_FORMATTED}, {603, SCAN_RAW}};
        for (const auto& [id, mode] : modes) {
            view()->Navigate(ui::PAGE_HOME, 0);
            QTest::mouseClick(view()->modeButton(id), Qt::LeftButton);
            QCOMPARE(view()->pageKind(), int(ui::PAGE_DRIVE));
            auto* page = qobject_cast<ui::CDriveViewPage*>(view()->currentPage());
            QVERIFY(page);
            QCOMPARE(page->mode(), mode);
            QVERIFY(page->isVisible());
            QCOMPARE(page->geometry(), view()->rect());
            for (int button = 600; button <= 603; ++button) QVERIFY(!view()->modeButton(button)->isVisible());
            QVERIFY(!view()->homeButton()->isVisible());
            QCOMPARE(app_->settings.RecoveryCategory, 0);
            // The root is selected on the new page, so nothing replaces the earlier choice.
            QCOMPARE(app_->settings.SelectedPartition, chosen);
            QCOMPARE(app_->settings.ScanStartSector, 2048u);
        }
    }

    void partitionModeSkipsTheDrivePage() {
        QTest::mouseClick(view()->modeButton(CHomeView::kPartitionButton), Qt::LeftButton);
        QCOMPARE(view()->pageKind(), int(ui::PAGE_RESULT));
        QCOMPARE(factory_->created, std::vector<ResultPageKind>{ResultPageKind::Partition});
        auto* page = qobject_cast<ui::CResultPlaceholderPage*>(view()->currentPage());
        QVERIFY(page);
        // Back from the partition page leads home, since no drive page came before it.
        QTest::mouseClick(page->backButton(), Qt::LeftButton);
        QTRY_COMPARE(view()->pageKind(), int(ui::PAGE_HOME));
        QVERIFY(view()->homePageShown());
    }

    void homeOnAResultPageShowsTheModesAgain() {
        app_->settings.SelectPartition(Volume("FAT32"));
        view()->Navigate(ui::PAGE_RESULT, SCAN_DELETED);
        QVERIFY(view()->currentPage());
        QTest::mouseClick(view()->currentPage()->homeButton(), Qt::LeftButton);
        QTRY_VERIFY(view()->currentPage() == nullptr);
        QCOMPARE(view()->pageKind(), int(ui::PAGE_HOME));
        QVERIFY(view()->homePageShown());
        for (int button = 600; button <= 603; ++button) QVERIFY(view()->modeButton(button)->isVisible());
        QVERIFY(view()->homeButton()->isVisible());
    }

    void backOnAResultPageReturnsToTheDrivePageOfItsMode() {
        app_->settings.SelectPartition(Volume("NTFS"));
        view()->Navigate(ui::PAGE_RESULT, SCAN_FORMATTED);
        auto* page = qobject_cast<ui::CResultPlaceholderPage*>(view()->currentPage());
        QVERIFY(page);
        QTest::mouseClick(page->backButton(), Qt::LeftButton);
        QTRY_COMPARE(view()->pageKind(), int(ui::PAGE_DRIVE));
        QCOMPARE(view()->currentPage()->mode(), int(SCAN_FORMATTED));
    }

    void homeWithAModeShowsOnlyTheHomeButtons() {
        view()->Navigate(ui::PAGE_DRIVE, SCAN_RAW);
        QCOMPARE(view()->Navigate(ui::PAGE_HOME, 1), 1);
        QVERIFY(!view()->currentPage());
        QVERIFY(view()->homeButton()->isVisible());
        for (int button = 600; button <= 603; ++button) QVERIFY(!view()->modeButton(button)->isVisible());
    }

    void resultPageIsChosenByTheExactFileSystemName_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fsName");
        QTest::addColumn<int>("kind");  // -1: no page
        QTest::newRow("FAT32") << int(SCAN_DELETED) << "FAT32" << int(ResultPageKind::Fat32);
        QTest::newRow("FAT is the FAT16 variant") << int(SCAN_DELETED) << "FAT" << int(ResultPageKind::Fat16);
        QTest::newRow("FAT16") << int(SCAN_FORMATTED) << "FAT16" << int(ResultPageKind::Fat16);
        QTest::newRow("NTFS") << int(SCAN_FORMATTED) << "NTFS" << int(ResultPageKind::Ntfs);
        QTest::newRow("EXT2") << int(SCAN_DELETED) << "EXT2" << int(ResultPageKind::Ext);
        QTest::newRow("EXT3") << int(SCAN_DELETED) << "EXT3" << int(ResultPageKind::Ext);
        QTest::newRow("case matters") << int(SCAN_DELETED) << "fat32" << -1;
        QTest::newRow("table entry name") << int(SCAN_DELETED) << "#FAT32#" << -1;
        QTest::newRow("gap") << int(SCAN_FORMATTED) << "Deleted" << -1;
        QTest::newRow("RAW reads anything") << int(SCAN_RAW) << "Deleted" << int(ResultPageKind::Raw);
        QTest::newRow("partition page") << int(SCAN_PARTITION) << "" << int(ResultPageKind::Partition);
    }

    void resultPageIsChosenByTheExactFileSystemName() {
        QFETCH(int, mode);
        QFETCH(QString, fsName);
        QFETCH(int, kind);
        testing::MessageRecorder messages;
        app_->settings.SelectPartition(Volume(fsName.toLatin1().constData()));
        QCOMPARE(view()->Navigate(ui::PAGE_RESULT, mode), 1);
        if (kind < 0) {
            QVERIFY(factory_->created.empty());
            QVERIFY(!view()->currentPage());
            // No page for that name: said, not a silent blank view; Home stays reachable.
            QCOMPARE(messages.texts(),
                     QStringList{QStringLiteral("It was failed to create drive view window!!")});
            QVERIFY(view()->homeButton()->isVisible());
        } else {
            QCOMPARE(factory_->created, std::vector<ResultPageKind>{static_cast<ResultPageKind>(kind)});
            QCOMPARE(view()->currentPage()->mode(), mode);
            QVERIFY(messages.texts().isEmpty());
        }
    }

    void fat16VariantNamesItsPage() {
        app_->settings.SelectPartition(Volume("FAT", 'C'));
        view()->Navigate(ui::PAGE_RESULT, SCAN_DELETED);
        auto* page = qobject_cast<ui::CResultPlaceholderPage*>(view()->currentPage());
        QVERIFY(page);
        QCOMPARE(page->pageName(), QStringLiteral("CResultPage_FAT, FAT16 variant"));
    }

    void theCurrentPageIsDestroyedBeforeTheNextIsCreated() {
        app_->settings.SelectPartition(Volume("NTFS"));
        view()->Navigate(ui::PAGE_RESULT, SCAN_DELETED);
        QPointer<ui::CPage> first = view()->currentPage();
        view()->Navigate(ui::PAGE_RESULT, SCAN_DELETED);
        QVERIFY(first.isNull());
        QCOMPARE(factory_->previousPageAlive, (std::vector<bool>{false, false}));

        // The same for the drive page, opened twice in a row.
        view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
        QPointer<ui::CPage> drive = view()->currentPage();
        view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
        QVERIFY(drive.isNull());
        QCOMPARE(view()->findChildren<ui::CPage*>().size(), 1);
    }

    void aPageThatCannotBeMadeIsReported() {
        testing::MessageRecorder messages;
        factory_->fail = true;
        app_->settings.SelectPartition(Volume("NTFS"));
        QTest::mouseClick(view()->modeButton(CHomeView::kPartitionButton), Qt::LeftButton);
        QVERIFY(!view()->currentPage());
        QCOMPARE(messages.messages().size(), std::size_t{1});
        QCOMPARE(messages.messages()[0].first, QStringLiteral("Vexa"));
        QCOMPARE(messages.messages()[0].second,
                 QStringLiteral("It was failed to create drive view window!!"));
        // The way home stays open.
        QVERIFY(view()->homeButton()->isVisible());
        QTest::mouseClick(view()->homeButton(), Qt::LeftButton);
        QVERIFY(view()->homePageShown());
    }

    void helpOpensTheUserGuideAndAboutShowsTheAboutBox() {
        testing::UrlRecorder urls(QStringLiteral("file"));
        testing::MessageRecorder messages;
        QVERIFY2(!ui::HelpDocumentPath().isEmpty(), "the user guide is copied beside the program");
        QTest::mouseClick(view()->helpButton(), Qt::LeftButton);
        // Inside the program: no web browser needed.
        QVERIFY(urls.urls.isEmpty());
        QVERIFY(ui::CHelpWindow::Current());
        QVERIFY(ui::CHelpWindow::Current()->browser()->source().toLocalFile().endsWith(
            QStringLiteral("help/lumacore-user-guide.html")));
        QVERIFY(messages.texts().isEmpty());

        QTest::mouseClick(view()->aboutButton(), Qt::LeftButton);
        QCOMPARE(messages.messages().size(), std::size_t{1});
        QVERIFY(messages.messages()[0].second.contains(QStringLiteral("Lumacore Data Recovery")));

        // The pages' Help does the same, at the page's section.
        view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
        QTest::mouseClick(view()->currentPage()->helpButton(), Qt::LeftButton);
        QCOMPARE(ui::CHelpWindow::Current()->browser()->source().fragment(), QStringLiteral("drive"));
        QVERIFY(urls.urls.isEmpty());
        ui::CHelpWindow::Current()->close();
    }

    void startUpReadsTheImagesAndRefusesBadOnes() {
        const std::string image = testing::FixtureImage("whole-fat16");
        {
            CRecoveryApp app;
            qputenv("LUMACORE_IMAGES", QByteArray());
            QVERIFY(app.InitInstance({QStringLiteral("lumacore"), QStringLiteral("--no-devices"),
                                      QStringLiteral("--image"), QString::fromStdString(image)}));
            QCOMPARE(app.images(), std::vector<std::string>{image});
            QVERIFY(app.mainFrame());
            QVERIFY(app.mainFrame()->isVisible());
            QCOMPARE(app.mainFrame()->windowTitle(), QStringLiteral("Lumacore Data Recovery"));
            QCOMPARE(app.devices()->PhysicalDriveCount(), 1);
            QCOMPARE(app.ExitInstance(), 0);
        }
        {
            CRecoveryApp app;
            qputenv("LUMACORE_IMAGES", QByteArray(image.c_str()));
            QVERIFY(app.InitInstance({QStringLiteral("lumacore"), QStringLiteral("--no-devices")}));
            QCOMPARE(app.images(), std::vector<std::string>{image});
            app.ExitInstance();
            qputenv("LUMACORE_IMAGES", QByteArray());
        }
        {
            // The desktop opens image files as "lumacore FILE...": each one is attached as --image does.
            CRecoveryApp app;
            QVERIFY(app.InitInstance({QStringLiteral("lumacore"), QStringLiteral("--no-devices"),
                                      QString::fromStdString(image), QStringLiteral("--image"),
                                      QString::fromStdString(image), QString::fromStdString(image)}));
            QCOMPARE(app.images(), (std::vector<std::string>{image, image, image}));
            QCOMPARE(app.devices()->PhysicalDriveCount(), 3);
            QCOMPARE(app.ExitInstance(), 0);
        }
        testing::MessageRecorder messages;
        {
            CRecoveryApp app;
            QVERIFY(!app.InitInstance({QStringLiteral("lumacore"), QStringLiteral("--image"),
                                       QStringLiteral("/nonexistent/disk.img")}));
            QVERIFY(!app.mainFrame());
            QCOMPARE(app.ExitInstance(), 2);
        }
        {
            CRecoveryApp app;
            QVERIFY(!app.InitInstance({QStringLiteral("lumacore"), QStringLiteral("scan")}));
            QCOMPARE(app.ExitInstance(), 2);
        }
        {
            CRecoveryApp app;
            QVERIFY(!app.InitInstance(
                {QStringLiteral("lumacore"), QString::fromStdString(image), QStringLiteral("--bogus")}));
            QCOMPARE(app.ExitInstance(), 2);
        }
        QCOMPARE(messages.texts().size(), 3);
        QVERIFY(messages.texts()[0].contains(QStringLiteral("/nonexistent/disk.img")));
        QVERIFY(messages.texts()[1].contains(QStringLiteral("'scan'")));
        QVERIFY(messages.texts()[2].contains(QStringLiteral("unexpected argument '--bogus'")));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::NavigationTest)
#include "navigation_test.moc"
