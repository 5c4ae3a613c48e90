#include "app/main_frame.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "app/home_view.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"

namespace lumacore {

namespace sk = ui::skin;

CMainFrame::CMainFrame(CRecoveryApp& app) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint) {
    setObjectName(QStringLiteral("MainFrame"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sk::kWindowWidth, sk::kWindowHeight);
    setWindowIcon(sk::PictureIcon(QStringLiteral("logo")));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect work = screen->availableGeometry();
        move(work.left() + (work.width() - sk::kWindowWidth) / 2, work.top() + (work.height() - sk::kWindowHeight) / 2);
    }

    // Caption buttons: 56..31 and 31..6 pixels left of the right edge, 2..19 pixels down.
    minimize_ = new ui::CSkinButton(QStringLiteral("Minimize"), sk::ButtonLook{sk::ButtonStyle::Minimize, {}, {}, {}},
                                    QRect(width() - 56, 2, 25, 17), 0, this);
    close_ = new ui::CSkinButton(QStringLiteral("Close"), sk::ButtonLook{sk::ButtonStyle::Close, {}, {}, {}},
                                 QRect(width() - 31, 2, 25, 17), 0, this);
    minimize_->setToolTip(QStringLiteral("Minimize"));
    close_->setToolTip(QStringLiteral("Close"));
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(close_, &QAbstractButton::clicked, this, &QWidget::close);

    view_ = new CHomeView(app, this);
    view_->setGeometry(0, sk::kTitleStripHeight, width(), height() - sk::kTitleStripHeight);
    // The view takes the first focus, so that no mode tile looks hovered before the pointer is there.
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->setFocus();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    sk::PaintWindowArt(painter, *this, QPoint(0, 0));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(QPointF(9, 6), sk::Picture(QStringLiteral("logo"), QSize(18, 18), devicePixelRatioF()));
    painter.setFont(sk::Font(12, QFont::DemiBold));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.88f));
    painter.drawText(QRectF(34, 0, 400, sk::kTitleStripHeight), Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(0, sk::kTitleStripHeight, width(), height() - sk::kTitleStripHeight);
}

// Any point that no control takes moves the window. The window manager does the move where it can
// (Wayland allows nothing else); otherwise the window follows the pointer.
void CMainFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

}  // namespace lumacore
