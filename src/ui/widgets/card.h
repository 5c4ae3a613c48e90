#pragma once

#include <QWidget>

namespace lumacore::ui {

// The white card with a soft shadow that the pages put behind a group of controls.
class CCard : public QWidget {
    Q_OBJECT
  public:
    CCard(const QRect& rect, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumacore::ui
