// The progress dialog's texts and timers, and the worker that runs behind it.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "core/progress.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/worker/background_job.h"

namespace lumacore {

using ui::CProgressDlg;

class ProgressDialogTest : public QObject {
    Q_OBJECT

private:
    // A dialog on a clock the test moves; shown, so that it has reset the fields and started.
    struct Fixture {
        ProgressFields progress;
        std::int64_t now = 5000;
        CProgressDlg dialog{progress, nullptr};
        Fixture() {
            dialog.SetClock([this] { return now; });
            dialog.show();
        }
    };

private Q_SLOTS:
    void timeTexts() {
        QCOMPARE(CProgressDlg::ElapsedText(0), QStringLiteral("Elapsed Time : 00:00:00"));
        QCOMPARE(CProgressDlg::ElapsedText(3725), QStringLiteral("Elapsed Time : 01:02:05"));
        // Whole days are dropped.
        QCOMPARE(CProgressDlg::ElapsedText(90061), QStringLiteral("Elapsed Time : 01:01:01"));
        QCOMPARE(CProgressDlg::RemainingSeconds(2, 100, 10), 19);  // 2 x 90 / 10 + 1
        QCOMPARE(CProgressDlg::RemainingText(19), QStringLiteral("Remaining Time : 00:00:19"));
        // Nothing done yet: divided by one.
        QCOMPARE(CProgressDlg::RemainingSeconds(3, 50, 0), 151);
        // Hours run past a day.
        QCOMPARE(CProgressDlg::RemainingText(100 * 3600 + 61), QStringLiteral("Remaining Time : 100:01:01"));
        // An hour into millions of sectors: no 32-bit wrap.
        QCOMPARE(CProgressDlg::RemainingSeconds(3600, 20'000'000, 1'000'000), 68401);
    }

    void openingResetsTheCountersAndShowsZeroTimes() {
        ProgressFields progress;
        progress.Start("left over", 80);
        progress.SetDone(80);
        CProgressDlg dialog(progress, nullptr);
        QCOMPARE(dialog.elapsedText(), QStringLiteral("Elapsed Time:99:99:99"));
        QSignalSpy opened(&dialog, &CProgressDlg::opened);
        dialog.show();
        QCOMPARE(opened.count(), 1);
        QCOMPARE(progress.Total(), 0);
        QCOMPARE(progress.Done(), 0);
        QCOMPARE(dialog.elapsedText(), QStringLiteral("Elapsed Time : 00:00:00"));
        QCOMPARE(dialog.windowTitle(), QString());
    }

    void tenOfAHundredAfterTwoSecondsLeavesNineteen() {
        Fixture f;
        f.dialog.SetTitle(QStringLiteral("Scanning..."));
        f.progress.Start("Reading the FAT", 100);
        f.progress.SetDone(10);
        f.now += 2;
        f.dialog.OnBarTimer();
        f.dialog.OnClockTimer();
        QCOMPARE(f.dialog.titleText(), QStringLiteral("Scanning..."));
        QCOMPARE(f.dialog.contentText(), QStringLiteral("Reading the FAT"));
        QCOMPARE(f.dialog.elapsedText(), QStringLiteral("Elapsed Time : 00:00:02"));
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:19"));
        QCOMPARE(f.dialog.bar()->maximum(), 100);
        QCOMPARE(f.dialog.bar()->value(), 10);

        f.now = 5000 + 90061;
        f.dialog.OnClockTimer();
        QCOMPARE(f.dialog.elapsedText(), QStringLiteral("Elapsed Time : 01:01:01"));
    }

    void withNoTotalTheBarStaysWhereItWas() {
        Fixture f;
        f.progress.Start("x", 40);
        f.progress.SetDone(30);
        f.dialog.OnBarTimer();
        f.progress.SetTotal(0);
        f.progress.SetDone(0);
        f.dialog.OnBarTimer();
        QCOMPARE(f.dialog.bar()->maximum(), 40);
        QCOMPARE(f.dialog.bar()->value(), 30);
        f.now += 7;
        f.dialog.OnClockTimer();
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:01"));
    }

    void modeTwoMovesTheEstimateOnlyWhenTheCountMoves() {
        Fixture f;
        f.dialog.SetEstimateMode(CProgressDlg::kEstimateWhenDoneMoves);
        f.progress.Start("x", 100);
        f.progress.SetDone(10);
        f.now += 2;
        f.dialog.OnClockTimer();
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:19"));
        f.now += 8;
        f.dialog.OnClockTimer();  // still 10 done: unchanged
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:19"));
        QCOMPARE(f.dialog.elapsedText(), QStringLiteral("Elapsed Time : 00:00:10"));
        f.progress.SetDone(50);
        f.dialog.OnClockTimer();  // 10 x 50 / 50 + 1
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:11"));
        f.progress.SetDone(100);
        f.now += 5;
        f.dialog.OnClockTimer();  // all done: the last estimate stays
        QCOMPARE(f.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:11"));

        // Mode 0 recomputes on every tick.
        Fixture g;
        g.progress.Start("x", 100);
        g.progress.SetDone(10);
        g.now += 2;
        g.dialog.OnClockTimer();
        g.now += 2;
        g.dialog.OnClockTimer();
        QCOMPARE(g.dialog.remainingText(), QStringLiteral("Remaining Time : 00:00:37"));
    }

    void cancelAsksToStopAndTheDialogWaitsForTheWorker() {
        Fixture f;
        QSignalSpy stop(&f.dialog, &CProgressDlg::stopRequested);
        QTest::mouseClick(f.dialog.cancelButton(), Qt::LeftButton);
        QCOMPARE(stop.count(), 1);
        QVERIFY(f.dialog.isVisible());
        // Escape and the window's close button are a stop request too, not a way out.
        f.dialog.reject();
        f.dialog.close();
        QCOMPARE(stop.count(), 3);
        QVERIFY(f.dialog.isVisible());
        f.dialog.Finish();
        QVERIFY(!f.dialog.isVisible());
    }

    void aJobRunsOffTheUiThreadAndChangesTheUiOnlyThroughIt() {
        ProgressFields progress;
        CProgressDlg dialog(progress, nullptr);
        StopToken stop;
        QLabel label;
        std::atomic<bool> jobOnUiThread{true};
        std::atomic<bool> changeOnUiThread{false};
        std::atomic<std::int64_t> totalSeenAtStart{-1};
        QThread* const uiThread = QThread::currentThread();
        const bool completed = ui::RunWithProgress(dialog, stop, [&](ui::JobContext& job) {
            totalSeenAtStart = job.progress().Total();
            jobOnUiThread = QThread::currentThread() == uiThread;
            job.progress().Start("Working", 3);
            for (int i = 0; i < 3; ++i) job.progress().AddDone(1);
            job.RunOnUi([&] {
                changeOnUiThread = QThread::currentThread() == uiThread;
                label.setText(QStringLiteral("done"));
            });
        });
        QVERIFY(completed);
        QVERIFY(!jobOnUiThread);
        QVERIFY(changeOnUiThread);
        QCOMPARE(label.text(), QStringLiteral("done"));
        QCOMPARE(totalSeenAtStart.load(), 0);  // the dialog's reset came before the job
        QCOMPARE(progress.Done(), 3);
        QVERIFY(!dialog.isVisible());
    }

    void cancelStopsARunningJob() {
        ProgressFields progress;
        CProgressDlg dialog(progress, nullptr);
        StopToken stop;
        std::atomic<int> rounds{0};
        QTimer::singleShot(50, &dialog, [&dialog] { dialog.cancelButton()->click(); });
        const bool completed = ui::RunWithProgress(dialog, stop, [&](ui::JobContext& job) {
            while (!job.StopRequested()) {
                ++rounds;
                QThread::msleep(2);
            }
        });
        QVERIFY(!completed);
        QVERIFY(rounds > 0);
        QVERIFY(!dialog.isVisible());

        // The same dialog and token serve the next run.
        QVERIFY(ui::RunWithProgress(dialog, stop, [](ui::JobContext&) {}));
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::ProgressDialogTest)
#include "progress_dialog_test.moc"
