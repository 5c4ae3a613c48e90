#include "ui/pages/page.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QThreadPool>
#include <algorithm>

#include "core/scan_mode.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/busy_indicator.h"

namespace lumacore::ui {

QString ModeTitle(int mode) {
    switch (mode) {
        case SCAN_DELETED:
            return QStringLiteral("Deleted File Recovery");
        case SCAN_PARTITION:
            return QStringLiteral("Lost Partition Recovery");
        case SCAN_FORMATTED:
            return QStringLiteral("Formatted Drive Recovery");
        case SCAN_RAW:
            return QStringLiteral("RAW Signature Search");
        default:
            return {};
    }
}

QRect HeaderButtonRect(int index) {
    constexpr int kWidth = 82, kHeight = 28, kGap = 8, kRight = 20, kTop = 21;
    const int left = skin::kWindowWidth - kRight - 3 * kWidth - 2 * kGap;
    return QRect(left + index * (kWidth + kGap), kTop, kWidth, kHeight);
}

QSize DesignedPageSize() {
    return QSize(skin::kWindowWidth, skin::kWindowHeight - skin::kTitleStripHeight);
}

CPage::CPage(const PageContext& context, QWidget* parent)
    : QWidget(parent),
      app_(context.app),
      host_(context.host),
      anchors_(DesignedPageSize()),
      mode_(context.mode) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    const auto headerLook = [](const char* label, const char* glyph) {
        return skin::ButtonLook{
            skin::ButtonStyle::Header, QString::fromLatin1(label), {}, QString::fromLatin1(glyph)};
    };
    home_ = new CSkinButton(QStringLiteral("Home"), headerLook("Home", "home"), HeaderButtonRect(0), 0, this);
    help_ = new CSkinButton(QStringLiteral("Help"), headerLook("Help", "help"), HeaderButtonRect(1), 0, this);
    about_ =
        new CSkinButton(QStringLiteral("About"), headerLook("About", "about"), HeaderButtonRect(2), 0, this);
    for (QWidget* button : {home_, help_, about_}) anchors_.Add(button, Follow::Right);
    connect(home_, &QAbstractButton::clicked, this, [this] {
        if (ConfirmLeave()) host_.PostNavigate(PAGE_HOME, 0);
    });
    connect(help_, &QAbstractButton::clicked, this, [this] { OpenHelpDocument(this, helpSection()); });
    connect(about_, &QAbstractButton::clicked, this, [this] { ShowAboutBox(this); });
}

CPage::~CPage() {
    // The workers go on without the page: they own what they use, and their completions are dropped.
    StopBackground();
}

struct CPage::BackgroundJob {
    StopToken stop;
    QString text;
    std::function<void()> done;
    QPointer<CPage> page;  // read on the UI thread only
};

void CPage::RunInBackground(const QString& busyText, std::function<void(const StopToken&)> work,
                            std::function<void()> done) {
    auto job = std::make_shared<BackgroundJob>();
    job->text = busyText;
    job->done = std::move(done);
    job->page = this;
    const bool wasBusy = busy();
    jobs_.push_back(job);
    ShowBusy(busyText);
    if (!wasBusy) BusyChanged(true);
    // The global pool: the application waits for it when it quits, so no worker outlives the program.
    QThreadPool::globalInstance()->start([job, work = std::move(work)] {
        try {
            work(job->stop);
        } catch (...) {
            // `done` finds the results as the work left them, which say it failed.
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [job] {
                if (job->stop.StopRequested() || !job->page) return;
                job->page->FinishJob(job);
            },
            Qt::QueuedConnection);
    });
}

void CPage::FinishJob(const std::shared_ptr<BackgroundJob>& job) {
    const auto it = std::find(jobs_.begin(), jobs_.end(), job);
    if (it == jobs_.end()) return;
    jobs_.erase(it);
    const std::function<void()> done = std::move(job->done);
    job->done = nullptr;
    if (jobs_.empty()) {
        if (busyIndicator_) busyIndicator_->Stop();
        unsetCursor();
    } else {
        ShowBusy(jobs_.back()->text);
    }
    // The completion may show a summary, or start the next step of its operation.
    if (done) done();
    if (jobs_.empty()) {
        BusyChanged(false);
        Q_EMIT idle();
    }
}

void CPage::StopBackground() {
    for (const auto& job : jobs_) job->stop.RequestStop();
    jobs_.clear();
    if (busyIndicator_) busyIndicator_->Stop();
    unsetCursor();
}

void CPage::ShowBusy(const QString& text) {
    if (!busyIndicator_) busyIndicator_ = new CBusyIndicator(this);
    busyIndicator_->SetText(text);
    PlaceBusyIndicator();
    busyIndicator_->Start();
    setCursor(Qt::BusyCursor);
}

void CPage::PlaceBusyIndicator() {
    if (!busyIndicator_) return;
    const QRect area = busyArea_ ? QRect(busyArea_->mapTo(this, QPoint(0, 0)), busyArea_->size()) : rect();
    QRect placed(QPoint(0, 0), busyIndicator_->sizeHint());
    placed.moveCenter(area.center());
    busyIndicator_->setGeometry(placed);
}

void CPage::SetHeading(const QString& title, const QString& subtitle) {
    title_ = title;
    subtitle_ = subtitle;
    update();
}

CSkinButton* CPage::AddCommandButton(const QString& windowText, const QString& glyph, const QRect& rect,
                                     bool primary) {
    const skin::ButtonLook look{
        primary ? skin::ButtonStyle::Primary : skin::ButtonStyle::Secondary, windowText, {}, glyph};
    auto* button = new CSkinButton(windowText, look, rect, 0, this);
    // The bottom row stays at the bottom; its right-hand group stays at the right.
    anchors_.Add(button, rect.left() > skin::kWindowWidth / 2 ? Follow::Bottom | Follow::Right
                                                              : FollowFlags(Follow::Bottom));
    return button;
}

QPoint CPage::Placed(QPoint designed, FollowFlags follow) const {
    return anchors_.Place(QRect(designed, QSize(1, 1)), follow, size()).topLeft();
}

void CPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    anchors_.Apply(event->size());
    PlaceBusyIndicator();
}

void CPage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    skin::PaintWindowArt(painter, *this, QPoint(0, skin::kTitleStripHeight));
    skin::PaintHeading(painter, title_, subtitle_);
}

}  // namespace lumacore::ui
