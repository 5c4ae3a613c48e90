#pragma once

#include <QPoint>
#include <QWidget>

namespace lumacore {

namespace ui {
class CSkinButton;
}

class CHomeView;
class CRecoveryApp;

// The program's one window: fixed 785 x 465, borderless, centred on the screen's work area, draggable by
// any point that is not a control, with its own Minimize and Close buttons in the title strip and the home
// view below the strip.
class CMainFrame : public QWidget {
    Q_OBJECT
public:
    explicit CMainFrame(CRecoveryApp& app);
    ~CMainFrame() override;

    CHomeView* view() const { return view_; }
    ui::CSkinButton* minimizeButton() const { return minimize_; }
    ui::CSkinButton* closeButton() const { return close_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CHomeView* view_ = nullptr;
    ui::CSkinButton* minimize_ = nullptr;
    ui::CSkinButton* close_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace lumacore
