#pragma once

#include <QString>
#include <QWidget>

class QTimer;

namespace lumacore::ui {

// A small pill with a turning arc and a line of text ("Reading the disks ..."), shown over a page while
// it waits for work on a worker thread. The arc turns on a timer of the UI thread, so it also shows that
// the window is responsive.
class CBusyIndicator : public QWidget {
    Q_OBJECT
  public:
    explicit CBusyIndicator(QWidget* parent);

    void SetText(const QString& text);
    QString text() const { return text_; }
    QSize sizeHint() const override;
    // Turns: starts the arc and shows the pill; Stop hides it.
    void Start();
    void Stop();
    // How many times the arc has moved since it was created (tests).
    int steps() const { return steps_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QTimer* timer_ = nullptr;
    int angle_ = 0;
    int steps_ = 0;
};

}  // namespace lumacore::ui
