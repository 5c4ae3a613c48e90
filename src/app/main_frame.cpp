#include "app/main_frame.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSizeGrip>
#include <QWindow>

#include "app/home_view.h"
#include "app/recovery_app.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"

namespace lumacore {

namespace sk = ui::skin;

namespace {

QSettings ProgramSettings() {
    return QSettings(QString::fromLatin1(CRecoveryApp::kSettingsKey),
                     QString::fromLatin1(ui::kApplicationName));
}

constexpr int kCaptionButtonWidth = 25, kCaptionButtonHeight = 17, kCaptionButtonTop = 2;
constexpr int kGripSize = 16;

}  // namespace

CMainFrame::CMainFrame(CRecoveryApp& app)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowMaximizeButtonHint) {
    setObjectName(QStringLiteral("MainFrame"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(sk::kWindowWidth, sk::kWindowHeight);
    resize(sk::kWindowWidth, sk::kWindowHeight);
    setWindowIcon(sk::PictureIcon(QStringLiteral("logo")));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect work = screen->availableGeometry();
        move(work.left() + (work.width() - sk::kWindowWidth) / 2,
             work.top() + (work.height() - sk::kWindowHeight) / 2);
    }

    // Caption buttons: 56..31 and 31..6 pixels left of the right edge, 2..19 pixels down.
    minimize_ = new ui::CSkinButton(
        QStringLiteral("Minimize"), sk::ButtonLook{sk::ButtonStyle::Minimize, {}, {}, {}},
        QRect(width() - 56, kCaptionButtonTop, kCaptionButtonWidth, kCaptionButtonHeight), 0, this);
    close_ = new ui::CSkinButton(
        QStringLiteral("Close"), sk::ButtonLook{sk::ButtonStyle::Close, {}, {}, {}},
        QRect(width() - 31, kCaptionButtonTop, kCaptionButtonWidth, kCaptionButtonHeight), 0, this);
    minimize_->setToolTip(QStringLiteral("Minimize"));
    close_->setToolTip(QStringLiteral("Close"));
    maximize_ = new ui::CSkinButton(
        QStringLiteral("Maximize"), sk::ButtonLook{sk::ButtonStyle::Maximize, {}, {}, {}},
        QRect(width() - 81, kCaptionButtonTop, kCaptionButtonWidth, kCaptionButtonHeight), 0, this);
    maximize_->setToolTip(QStringLiteral("Maximize"));
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(maximize_, &QAbstractButton::clicked, this, &CMainFrame::ToggleMaximized);
    connect(close_, &QAbstractButton::clicked, this, &QWidget::close);

    view_ = new CHomeView(app, this);
    view_->setGeometry(0, sk::kTitleStripHeight, width(), height() - sk::kTitleStripHeight);
    // The view takes the first focus, so that no mode tile looks hovered before the pointer is there.
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->setFocus();

    // A borderless window has no frame to drag: the grip resizes it (through the window manager where
    // there is one).
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    // Also while the help window has the focus: F1 there goes to the section of the page shown.
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, view_, &CHomeView::ShowHelp);

    grip_ = new QSizeGrip(this);
    grip_->setObjectName(QStringLiteral("SizeGrip"));
    grip_->resize(kGripSize, kGripSize);
    grip_->raise();
}

void CMainFrame::ToggleMaximized() {
    if (isMaximized()) {
        showNormal();
    } else {
        showMaximized();
    }
}

void CMainFrame::SaveWindowState() const {
    QSettings settings = ProgramSettings();
    settings.setValue(QString::fromLatin1(kGeometryKey), saveGeometry());
    settings.setValue(QString::fromLatin1(kMaximizedKey), isMaximized());
}

bool CMainFrame::RestoreWindowState() {
    const QSettings settings = ProgramSettings();
    const QByteArray geometry = settings.value(QString::fromLatin1(kGeometryKey)).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) return false;
    // A size saved by an older build or on a smaller screen never goes below the designed one.
    resize(size().expandedTo(minimumSize()));
    if (settings.value(QString::fromLatin1(kMaximizedKey)).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SaveWindowState();
    QWidget::closeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        maximize_->setToolTip(isMaximized() ? QStringLiteral("Restore") : QStringLiteral("Maximize"));
        grip_->setVisible(!isMaximized());
    }
}

void CMainFrame::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < sk::kTitleStripHeight) {
        ToggleMaximized();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    sk::PaintWindowArt(painter, *this, QPoint(0, 0));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(QPointF(9, 6),
                       sk::Picture(QStringLiteral("logo"), QSize(18, 18), devicePixelRatioF()));
    painter.setFont(sk::Font(12, QFont::DemiBold));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.88f));
    painter.drawText(QRectF(34, 0, 400, sk::kTitleStripHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     windowTitle());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(0, sk::kTitleStripHeight, width(), height() - sk::kTitleStripHeight);
    // Caption buttons keep their distance from the right edge.
    if (maximize_) maximize_->move(width() - 81, kCaptionButtonTop);
    if (minimize_) minimize_->move(width() - 56, kCaptionButtonTop);
    if (close_) close_->move(width() - 31, kCaptionButtonTop);
    if (grip_) {
        grip_->move(width() - kGripSize, height() - kGripSize);
        grip_->raise();
    }
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
