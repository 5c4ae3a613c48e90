#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QTextBrowser;

namespace lumacore::ui {

// The user guide inside the program: a window with a text browser over the HTML guide, so that help
// needs no web browser. One window for the run; opening help again brings it forward at the section.
class CHelpWindow final : public QWidget {
    Q_OBJECT
  public:
    // Shows the guide at `path`, scrolled to the element with id `section` (top when empty), and
    // returns the window. It stays on top of `owner`'s window.
    static CHelpWindow* Open(QWidget* owner, const QString& path, const QString& section);
    // The window when it is open, else null.
    static CHelpWindow* Current();

    QTextBrowser* browser() const { return browser_; }

  private:
    explicit CHelpWindow(QWidget* owner);
    void Show(const QString& path, const QString& section);

    QTextBrowser* browser_ = nullptr;
    static QPointer<CHelpWindow> current_;
};

}  // namespace lumacore::ui
