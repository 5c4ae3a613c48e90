#include "ui/preview/image_view_dlg.h"

#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>

namespace lumacore::ui {

namespace {

constexpr QSize kSizeInDialogUnits(439, 306);

}  // namespace

CImageCanvas::CImageCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ImageCanvas%1").arg(kCanvasId));
    setWindowTitle(QStringLiteral("Image Preview Canvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CImageCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    // Stretched into the whole rectangle without smoothing, as the window always drew it.
    if (image_ != nullptr && !image_->isNull()) painter.drawImage(rect(), *image_);
}

CImageViewDlg::CImageViewDlg(QImage image, QWidget* parent) : QDialog(parent), image_(std::move(image)) {
    setObjectName(QStringLiteral("ImageViewDialog"));
    setWindowTitle(QStringLiteral("View Image File..."));
    // White around the picture, whatever the skin gives other dialogs.
    setStyleSheet(QStringLiteral("QDialog { background: white; }"));
    canvas_ = new CImageCanvas(this);
    canvas_->SetImage(&image_);
    const QFontMetrics metrics(font());
    resize(kSizeInDialogUnits.width() * metrics.averageCharWidth() / 4,
           kSizeInDialogUnits.height() * metrics.height() / 8);
}

QRect CImageViewDlg::CanvasRect(QSize picture, QSize client) {
    if (picture.isEmpty()) return {};
    const QSize size = picture.boundedTo(client);
    return QRect(QPoint((client.width() - size.width()) / 2, (client.height() - size.height()) / 2), size);
}

void CImageViewDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    canvas_->setGeometry(CanvasRect(image_.size(), event->size()));
    canvas_->update();
}

}  // namespace lumacore::ui
