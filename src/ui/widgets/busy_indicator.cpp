#include "ui/widgets/busy_indicator.h"

#include <QPainter>
#include <QTimer>

#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

constexpr int kHeight = 34;
constexpr int kArc = 16;
constexpr int kPadding = 12;
constexpr int kStepMs = 60;

}  // namespace

CBusyIndicator::CBusyIndicator(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("BusyIndicator"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_->setInterval(kStepMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        ++steps_;
        update();
    });
    hide();
}

void CBusyIndicator::SetText(const QString& text) {
    text_ = text;
    resize(sizeHint());
    update();
}

QSize CBusyIndicator::sizeHint() const {
    const QFontMetrics metrics(skin::Font(12, QFont::DemiBold));
    return QSize(kPadding + kArc + 10 + metrics.horizontalAdvance(text_) + kPadding + 4, kHeight);
}

void CBusyIndicator::Start() {
    resize(sizeHint());
    if (!timer_->isActive()) timer_->start();
    show();
    raise();
}

void CBusyIndicator::Stop() {
    timer_->stop();
    hide();
}

void CBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF pill = QRectF(rect()).adjusted(1, 1, -1, -1);
    p.setPen(QPen(skin::colour::kCardBorder, 1));
    p.setBrush(QColor(255, 255, 255, 240));
    p.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);

    const QRectF arc(kPadding, (height() - kArc) / 2.0, kArc, kArc);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(skin::colour::kCardBorder, 2.5));
    p.drawEllipse(arc);
    p.setPen(QPen(skin::colour::kAccent, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arc, -angle_ * 16, 100 * 16);

    p.setFont(skin::Font(12, QFont::DemiBold));
    p.setPen(skin::colour::kText);
    p.drawText(QRectF(arc.right() + 10, 0, width() - arc.right() - 10 - kPadding, height()),
               Qt::AlignLeft | Qt::AlignVCenter, text_);
}

}  // namespace lumacore::ui
