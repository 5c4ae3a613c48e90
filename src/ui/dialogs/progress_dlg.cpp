#include "ui/dialogs/progress_dlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <climits>

#include "core/progress.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

QString Clock(std::int64_t h, std::int64_t m, std::int64_t s) {
    return QStringLiteral("%1:%2:%3")
        .arg(h, 2, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

constexpr int kSeparatorY = 36;
constexpr int kSeparatorInset = 15;

}  // namespace

CProgressDlg::CProgressDlg(ProgressFields& progress, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      progress_(progress),
      now_([] { return QDateTime::currentSecsSinceEpoch(); }) {
    setObjectName(QStringLiteral("ProgressDialog"));
    setModal(true);
    setWindowTitle(QString());

    title_ = new QLabel(QStringLiteral("str Title"), this);
    title_->setFont(skin::Font(14, QFont::Bold));
    title_->setFixedHeight(kSeparatorY - 12);
    content_ = new QLabel(QStringLiteral("str Contents"), this);
    content_->setTextFormat(Qt::PlainText);
    content_->setMinimumWidth(360);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    elapsed_ = new QLabel(QStringLiteral("Elapsed Time:99:99:99"), this);
    remaining_ = new QLabel(QStringLiteral("Remaining Time:99:99:99"), this);
    rate_ = new QLabel(this);
    rate_->setObjectName(QStringLiteral("Rate"));
    for (QLabel* label : {elapsed_, remaining_, rate_})
        label->setStyleSheet(QStringLiteral("color: #5d6d83;"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDlg::stopRequested);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSeparatorInset + 3, 8, kSeparatorInset + 3, 14);
    layout->setSpacing(8);
    layout->addWidget(title_);
    layout->addSpacing(10);
    layout->addWidget(content_);
    layout->addWidget(bar_);
    auto* times = new QGridLayout;
    times->addWidget(elapsed_, 0, 0, Qt::AlignLeft);
    times->addWidget(remaining_, 0, 1, Qt::AlignRight);
    times->addWidget(rate_, 1, 0, Qt::AlignLeft);
    times->addWidget(cancel_, 1, 1, Qt::AlignRight);
    layout->addLayout(times);
    setFixedSize(QSize(440, sizeHint().height()));

    barTimer_.setInterval(kBarTimerMs);
    clockTimer_.setInterval(kClockTimerMs);
    connect(&barTimer_, &QTimer::timeout, this, &CProgressDlg::OnBarTimer);
    connect(&clockTimer_, &QTimer::timeout, this, &CProgressDlg::OnClockTimer);
}

void CProgressDlg::SetTitle(const QString& title) {
    title_->setText(title);
    setWindowTitle(title);
}

void CProgressDlg::SetRateUnit(const QString& unit, double bytesPerUnit) {
    rateUnit_ = unit;
    bytesPerUnit_ = bytesPerUnit;
}

QString CProgressDlg::rateText() const {
    return rate_->text();
}

QString CProgressDlg::RateText(std::int64_t done, std::int64_t seconds, const QString& unit,
                               double bytesPerUnit) {
    if (unit.isEmpty() || seconds <= 0 || done < 0) return {};
    const double perSecond = static_cast<double>(done) / static_cast<double>(seconds);
    if (bytesPerUnit > 0)
        return QStringLiteral("%1 MB/s").arg(perSecond * bytesPerUnit / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 %2/s").arg(perSecond, 0, 'f', perSecond < 100 ? 1 : 0).arg(unit);
}

QString CProgressDlg::titleText() const {
    return title_->text();
}
QString CProgressDlg::contentText() const {
    return content_->text();
}
QString CProgressDlg::elapsedText() const {
    return elapsed_->text();
}
QString CProgressDlg::remainingText() const {
    return remaining_->text();
}

QString CProgressDlg::ElapsedText(std::int64_t s) {
    if (s < 0) s = 0;
    return QStringLiteral("Elapsed Time : ") +
           Clock(s / 3600 - (s / 86400) * 24, s / 60 - (s / 3600) * 60, s % 60);
}

std::int64_t CProgressDlg::RemainingSeconds(std::int64_t elapsed, std::int64_t total, std::int64_t done) {
    const std::int64_t divisor = done == 0 ? 1 : done;
    // Wide arithmetic: an hour into a scan of millions of sectors, a 32-bit product would wrap.
    const std::int64_t left = total > done ? total - done : 0;
    return std::max<std::int64_t>(elapsed, 0) * left / divisor + 1;
}

QString CProgressDlg::RemainingText(std::int64_t r) {
    return QStringLiteral("Remaining Time : ") + Clock(r / 3600, (r % 3600) / 60, r % 60);
}

void CProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    progress_.SetDone(0);
    progress_.SetTotal(0);
    lastEstimatedDone_ = 0;
    finishing_ = false;
    start_ = now_();
    // The last run's text would stand for this one until the worker's first step.
    progress_.SetText(std::string());
    rate_->clear();
    // Over the window it belongs to, not wherever the window system puts a new dialog.
    if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
        move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    // Start at zero rather than the placeholder texts, which would stand for a whole second.
    elapsed_->setText(ElapsedText(0));
    remaining_->setText(RemainingText(0));
    content_->setText(QString::fromStdString(progress_.Text()));
    bar_->setValue(0);
    barTimer_.start();
    clockTimer_.start();
    Q_EMIT opened();
}

void CProgressDlg::OnBarTimer() {
    const std::int64_t total = progress_.Total();
    if (total <= 0) return;
    // The bar holds int: very large counts are scaled down together.
    int shift = 0;
    while ((total >> shift) > INT_MAX) ++shift;
    const std::int64_t done = std::clamp<std::int64_t>(progress_.Done(), 0, total);
    bar_->setRange(0, static_cast<int>(total >> shift));
    bar_->setValue(static_cast<int>(done >> shift));
}

void CProgressDlg::OnClockTimer() {
    const std::int64_t s = now_() - start_;
    elapsed_->setText(ElapsedText(s));
    const std::int64_t total = progress_.Total();
    const std::int64_t done = progress_.Done();
    const bool recompute =
        estimateMode_ != kEstimateWhenDoneMoves || (done < total && done != lastEstimatedDone_);
    if (recompute) {
        remaining_->setText(RemainingText(RemainingSeconds(s, total, done)));
        lastEstimatedDone_ = done;
    }
    content_->setText(QString::fromStdString(progress_.Text()));
    rate_->setText(RateText(done, s, rateUnit_, bytesPerUnit_));
}

void CProgressDlg::Finish() {
    barTimer_.stop();
    clockTimer_.stop();
    finishing_ = true;
    rateUnit_.clear();
    bytesPerUnit_ = 0;
    if (isVisible()) {
        done(QDialog::Accepted);
    }
}

void CProgressDlg::reject() {
    // Escape: the worker may not simply be walked away from; ask it to stop and wait for its end.
    Q_EMIT stopRequested();
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    if (finishing_) return QDialog::closeEvent(event);
    event->ignore();
    Q_EMIT stopRequested();
}

void CProgressDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    // The etched line under the title.
    p.fillRect(QRect(kSeparatorInset, kSeparatorY, width() - 2 * kSeparatorInset, 1),
               QColor(0xc3, 0xcd, 0xda));
    p.fillRect(QRect(kSeparatorInset, kSeparatorY + 1, width() - 2 * kSeparatorInset, 1), Qt::white);
}

}  // namespace lumacore::ui
