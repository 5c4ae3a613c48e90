#include "ui/skin/skin_button.h"

#include <QPainter>

namespace lumacore::ui {

CSkinButton::CSkinButton(const QString& windowText, const skin::ButtonLook& look, const QRect& rect, int id,
                         QWidget* parent)
    : QAbstractButton(parent), look_(look), id_(id) {
    setText(windowText);
    setObjectName(windowText);
    setGeometry(rect);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(look.style == skin::ButtonStyle::Minimize || look.style == skin::ButtonStyle::Maximize ||
                           look.style == skin::ButtonStyle::Close
                       ? Qt::NoFocus
                       : Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    if (!look.label.isEmpty()) setAccessibleName(look.label);
}

skin::ButtonState CSkinButton::state() const {
    if (!isEnabled()) return skin::ButtonState::Disabled;
    if (isDown()) return skin::ButtonState::Pressed;
    if (underMouse() || hasFocus()) return skin::ButtonState::Hover;
    return skin::ButtonState::Normal;
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, skin::ButtonFace(look_, size(), state(), devicePixelRatioF()));
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void CSkinButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}

}  // namespace lumacore::ui
