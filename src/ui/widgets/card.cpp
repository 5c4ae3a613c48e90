#include "ui/widgets/card.h"

#include <QPainter>

#include "ui/skin/skin.h"

namespace lumacore::ui {

CCard::CCard(const QRect& rect, QWidget* parent) : QWidget(parent) {
    setGeometry(rect);
}

void CCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    skin::PaintCard(p, QRectF(rect()).adjusted(1, 1, -1, -1), 8);
}

}  // namespace lumacore::ui
