#include "ui/widgets/card.h"

#include <QPainter>
#include <QResizeEvent>

#include "ui/skin/skin.h"

namespace lumacore::ui {

CCard::CCard(const QRect& rect, QWidget* parent) : QWidget(parent), anchors_(rect.size()) {
    setGeometry(rect);
}

void CCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    anchors_.Apply(event->size());
}

void CCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    skin::PaintCard(p, QRectF(rect()).adjusted(1, 1, -1, -1), 8);
}

}  // namespace lumacore::ui
