#pragma once

#include <QPoint>
#include <QWidget>

namespace lumacore {

namespace ui {
class CSkinButton;
}

class CHomeView;
class CRecoveryApp;

// The program's one window: borderless, opened at its designed 785 x 465 (also its smallest size) centred
// on the screen's work area, or at the size and place it had when it was last closed; it can be resized
// (grip in the lower right corner) and maximised (its caption button, or a double-click on the title
// strip). Draggable by any point that is not a control, with its own caption buttons in the title strip
// and the home view below the strip.
class CMainFrame : public QWidget {
    Q_OBJECT
  public:
    explicit CMainFrame(CRecoveryApp& app);
    ~CMainFrame() override;

    CHomeView* view() const { return view_; }
    ui::CSkinButton* minimizeButton() const { return minimize_; }
    ui::CSkinButton* closeButton() const { return close_; }
    ui::CSkinButton* maximizeButton() const { return maximize_; }
    void ToggleMaximized();

    // Where the window's size and place are kept between runs (the program's settings location).
    static constexpr const char* kGeometryKey = "Window/geometry";
    static constexpr const char* kMaximizedKey = "Window/maximized";
    void SaveWindowState() const;
    // Puts the saved size and place back; false (and nothing changed) when none was saved.
    bool RestoreWindowState();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    CHomeView* view_ = nullptr;
    ui::CSkinButton* minimize_ = nullptr;
    ui::CSkinButton* close_ = nullptr;
    ui::CSkinButton* maximize_ = nullptr;
    QWidget* grip_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace lumacore
