#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace lumacore {
class ProgressFields;
}

namespace lumacore::ui {

// The modal dialog shown while a worker runs: a title, the worker's progress text, a bar, the elapsed
// time and an estimate of the time left, and Cancel. It never talks to the worker: it reads the progress
// fields on two timers, and Cancel only asks the owner to stop (stopRequested). It closes when the
// worker's end is reported through Finish(); Escape and the window's close button count as Cancel.
class CProgressDlg final : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kBarTimerMs = 300;
    static constexpr int kClockTimerMs = 1000;
    // Mode 2: the estimate moves only when the done count moves (for scans whose counts come in bursts).
    static constexpr int kEstimateWhenDoneMoves = 2;

    CProgressDlg(ProgressFields& progress, QWidget* owner);

    // The title line, and the window's title (what the task bar shows while the dialog is up).
    void SetTitle(const QString& title);
    // What the done count counts, for the rate line: "files" gives "12.5 files/s"; with `bytesPerUnit`
    // the rate is in MB/s instead. An empty unit shows no rate. Reset to none when the dialog closes.
    void SetRateUnit(const QString& unit, double bytesPerUnit = 0);
    QString rateText() const;
    // "<n> <unit>/s" or "<x> MB/s" for `done` units in `seconds`; empty when no time has passed.
    static QString RateText(std::int64_t done, std::int64_t seconds, const QString& unit,
                            double bytesPerUnit);
    ProgressFields& progress() const { return progress_; }
    void SetEstimateMode(int mode) { estimateMode_ = mode; }
    int estimateMode() const { return estimateMode_; }
    // The clock in whole seconds (tests put their own in place).
    void SetClock(std::function<std::int64_t()> nowSeconds) { now_ = std::move(nowSeconds); }

    // Timer work, public so that a test can step it.
    void OnBarTimer();
    void OnClockTimer();

    QString titleText() const;
    QString contentText() const;
    QString elapsedText() const;
    QString remainingText() const;
    QProgressBar* bar() const { return bar_; }
    QPushButton* cancelButton() const { return cancel_; }

    // "Elapsed Time : hh:mm:ss" for a number of seconds; whole days are not shown.
    static QString ElapsedText(std::int64_t seconds);
    // Seconds left: elapsed x (total - done) / done, plus one; done counts as 1 while it is 0.
    static std::int64_t RemainingSeconds(std::int64_t elapsed, std::int64_t total, std::int64_t done);
    // "Remaining Time : hh:mm:ss"; hours are not limited to a day.
    static QString RemainingText(std::int64_t seconds);

  public Q_SLOTS:
    // The worker's end: closes the dialog.
    void Finish();

  Q_SIGNALS:
    // Cancel was pressed: the owner clears its worker's running flag.
    void stopRequested();
    // The dialog is open and its timers run: the worker may start.
    void opened();

  public:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    ProgressFields& progress_;
    std::function<std::int64_t()> now_;
    std::int64_t start_ = 0;
    std::int64_t lastEstimatedDone_ = 0;
    int estimateMode_ = 0;
    bool finishing_ = false;
    QTimer barTimer_;
    QTimer clockTimer_;
    QLabel* title_ = nullptr;
    QLabel* content_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* remaining_ = nullptr;
    QLabel* rate_ = nullptr;
    QString rateUnit_;
    double bytesPerUnit_ = 0;
    QPushButton* cancel_ = nullptr;
};

}  // namespace lumacore::ui
