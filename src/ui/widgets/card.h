#pragma once

#include <QWidget>

#include "ui/widgets/anchor_set.h"

namespace lumacore::ui {

// The white card with a soft shadow that the pages put behind a group of controls.
class CCard : public QWidget {
    Q_OBJECT
  public:
    CCard(const QRect& rect, QWidget* parent);

    // How a control inside the card follows a card larger than designed (see AnchorSet).
    void Anchor(QWidget* widget, FollowFlags follow) { anchors_.Add(widget, follow); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    AnchorSet anchors_;
};

}  // namespace lumacore::ui
