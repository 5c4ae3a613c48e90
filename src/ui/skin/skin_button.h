#pragma once

#include <QAbstractButton>

#include "ui/skin/skin.h"

namespace lumacore::ui {

// An owner-drawn button: its face in each of the four states comes from the skin's cache. The window
// text (text()) is what the program and the tests know the button by; what is drawn is the look's label.
class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    CSkinButton(const QString& windowText, const skin::ButtonLook& look, const QRect& rect, int id,
                QWidget* parent);

    int id() const { return id_; }
    const skin::ButtonLook& look() const { return look_; }
    skin::ButtonState state() const;

    QSize sizeHint() const override { return size(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    skin::ButtonLook look_;
    int id_ = 0;
};

}  // namespace lumacore::ui
