// The window as a new user meets it: it opens at its designed size, grows and the pages use the room,
// it keeps its size between runs, it draws sharp at every scale, help opens inside the program (F1 at
// the page's own section), and the progress dialog sits on the window and says what it does.
#include <QDir>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/recovery_app.h"
#include "core/progress.h"
#include "core/scan_mode.h"
#include "gui/gui_test_support.h"
#include "ui/dialogs/help_window.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/pages/drive_view_page.h"
#include "ui/shell.h"
#include "ui/skin/skin_button.h"
#include "ui/worker/background_job.h"

namespace lumacore {

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Starts the program as main() does, without disks.
std::unique_ptr<CRecoveryApp> StartProgram() {
    auto app = std::make_unique<CRecoveryApp>();
    if (!app->InitInstance({QStringLiteral("lumacore"), QStringLiteral("--no-devices")})) return nullptr;
    Settle();
    return app;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        // main() has pointed the settings location at a folder of this run.
        QSettings(QString::fromLatin1(CRecoveryApp::kSettingsKey), QString::fromLatin1(ui::kApplicationName))
            .clear();
    }

    void opensAtTheDesignedSizeAndGrows() {
        auto app = StartProgram();
        QVERIFY(app);
        CMainFrame* frame = app->mainFrame();
        QCOMPARE(frame->size(), QSize(785, 465));
        QCOMPARE(frame->minimumSize(), QSize(785, 465));
        QVERIFY(frame->maximumSize().width() > 785 && frame->maximumSize().height() > 465);
        QVERIFY(frame->windowFlags() & Qt::WindowMaximizeButtonHint);

        frame->resize(1280, 800);
        Settle();
        QCOMPARE(frame->view()->geometry(), QRect(0, 30, 1280, 770));
        // Caption buttons keep to the right edge; the mode tiles stay centred.
        QCOMPARE(frame->closeButton()->geometry(), QRect(1280 - 31, 2, 25, 17));
        QCOMPARE(frame->minimizeButton()->geometry(), QRect(1280 - 56, 2, 25, 17));
        const QRect tile = frame->view()->modeButton(CHomeView::kDeleteButton)->geometry();
        const QRect lastTile = frame->view()->modeButton(CHomeView::kRawButton)->geometry();
        QVERIFY(std::abs(tile.left() - (1280 - 1 - lastTile.right())) <= 2);

        // A page fills the view: the tree takes the room, the bottom row stays at the bottom.
        frame->view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
        Settle();
        auto* page = qobject_cast<ui::CDriveViewPage*>(frame->view()->currentPage());
        QVERIFY(page);
        QCOMPARE(page->size(), QSize(1280, 770));
        QCOMPARE(page->nextButton()->geometry().right(), 1280 - 20 - 1);
        QCOMPARE(page->nextButton()->geometry().bottom(), 770 - 13 - 1);
        QCOMPARE(page->backButton()->geometry().topLeft(), QPoint(20, 386 + 335));
        QVERIFY(page->tree()->width() > 376 + 200);
        QVERIFY(page->tree()->height() > 288 + 300);
        // And back to the designed size, everything where it was drawn.
        frame->resize(785, 465);
        Settle();
        QCOMPARE(page->nextButton()->geometry(), QRect(661, 386, 104, 36));
        QCOMPARE(page->helpButton()->geometry(), ui::HeaderButtonRect(1));

        frame->ToggleMaximized();
        QVERIFY(frame->windowState() & Qt::WindowMaximized);
        frame->ToggleMaximized();
        QVERIFY(!(frame->windowState() & Qt::WindowMaximized));
        app->ExitInstance();
    }

    void theSizeIsRememberedBetweenRuns() {
        {
            auto app = StartProgram();
            QVERIFY(app);
            app->mainFrame()->resize(1000, 640);
            Settle();
            app->mainFrame()->close();
            app->ExitInstance();
        }
        auto app = StartProgram();
        QVERIFY(app);
        QCOMPARE(app->mainFrame()->size(), QSize(1000, 640));
        app->ExitInstance();
        // Never below the designed size, whatever was stored.
        {
            QSettings settings(QString::fromLatin1(CRecoveryApp::kSettingsKey),
                               QString::fromLatin1(ui::kApplicationName));
            settings.remove(QString::fromLatin1(CMainFrame::kGeometryKey));
        }
        auto fresh = StartProgram();
        QCOMPARE(fresh->mainFrame()->size(), QSize(785, 465));
        fresh->ExitInstance();
    }

    // Run at QT_SCALE_FACTOR 1, 1.5 and 2 (three ctest entries): the logical size stays the designed one
    // and the window is drawn at the screen's pixel ratio, not scaled up from a 100 % picture.
    void drawsAtTheScreensPixelRatio() {
        const double factor = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                  ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                                  : 1.0;
        auto app = StartProgram();
        QVERIFY(app);
        CMainFrame* frame = app->mainFrame();
        QCOMPARE(frame->size(), QSize(785, 465));
        QCOMPARE(frame->devicePixelRatioF(), factor);
        const QPixmap shot = frame->grab();
        QCOMPARE(shot.size(), QSize(qRound(785 * factor), qRound(465 * factor)));
        // The one-pixel outline of the art is one device pixel wide at every scale: a picture scaled up
        // from 100 % would smear it over `factor` pixels.
        const QImage image = shot.toImage();
        const int middle = image.height() / 2;
        QCOMPARE(image.pixelColor(0, middle), QColor(0x0a, 0x1c, 0x36));
        if (factor >= 2) QVERIFY(image.pixelColor(1, middle) != QColor(0x0a, 0x1c, 0x36));
        app->ExitInstance();
    }

    void helpOpensInsideTheProgramAtThePagesSection() {
        testing::UrlRecorder urls(QStringLiteral("file"));
        testing::MessageRecorder messages;
        auto app = StartProgram();
        QVERIFY(app);
        CMainFrame* frame = app->mainFrame();
        QTest::mouseClick(frame->view()->helpButton(), Qt::LeftButton);
        ui::CHelpWindow* help = ui::CHelpWindow::Current();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(help->browser()->source().toLocalFile().endsWith(
            QStringLiteral("help/lumacore-user-guide.html")));
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("Before you start")));
        QVERIFY(urls.urls.isEmpty());  // no browser of the desktop
        QVERIFY(messages.texts().isEmpty());

        // F1 on the drive page: the guide at "Choosing a drive".
        frame->view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
        Settle();
        help->browser()->verticalScrollBar()->setValue(0);
        QApplication::setActiveWindow(frame);
        QTest::keyClick(frame, Qt::Key_F1);
        Settle();
        QCOMPARE(ui::CHelpWindow::Current(), help);
        QCOMPARE(help->browser()->source().fragment(), QStringLiteral("drive"));
        QVERIFY(help->browser()->verticalScrollBar()->value() > 0);
        const int driveAt = help->browser()->verticalScrollBar()->value();
        // The page's own Help button: the same window, the same place.
        QTest::mouseClick(frame->view()->currentPage()->helpButton(), Qt::LeftButton);
        Settle();
        QCOMPARE(help->browser()->verticalScrollBar()->value(), driveAt);
        help->close();
        app->ExitInstance();
        QVERIFY(urls.urls.isEmpty());
    }

    void theProgressDialogSitsOnTheWindowAndTellsItsRate() {
        auto app = StartProgram();
        QVERIFY(app);
        CMainFrame* frame = app->mainFrame();
        frame->move(200, 150);
        {  // the dialog goes before the window it belongs to
            ProgressFields progress;
            progress.Start("left over from the last run", 10);
            ui::CProgressDlg dialog(progress, frame->view());
            dialog.SetTitle(QStringLiteral("Recoverying Deleted Files ..."));
            dialog.SetRateUnit(QStringLiteral("files"));
            std::int64_t now = 1000;
            dialog.SetClock([&] { return now; });
            QPoint centre;
            QString textAtOpen;
            QObject::connect(&dialog, &ui::CProgressDlg::opened, &dialog, [&] {
                centre = dialog.frameGeometry().center();
                textAtOpen = dialog.contentText();
            });
            StopToken stop;
            QString rate;
            ui::RunWithProgress(dialog, stop, [&](ui::JobContext& job) {
                job.progress().Start("writing", 100);
                job.progress().SetDone(50);
                job.RunOnUi([&] {
                    now += 4;
                    dialog.OnClockTimer();
                    rate = dialog.rateText();
                });
            });
            QCOMPARE(rate, QStringLiteral("12.5 files/s"));
            QVERIFY((centre - frame->frameGeometry().center()).manhattanLength() <= 2);
            QCOMPARE(textAtOpen, QString());
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Recoverying Deleted Files ..."));
            QCOMPARE(ui::CProgressDlg::RateText(3 * 2048, 3, QStringLiteral("sectors"), 512),
                     QStringLiteral("1.0 MB/s"));
            QCOMPARE(ui::CProgressDlg::RateText(5, 0, QStringLiteral("files"), 0), QString());
        }
        app->ExitInstance();
    }
};

}  // namespace lumacore

int main(int argc, char** argv) {
    // Before the application exists: QSettings takes its location once.
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    lumacore::WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
