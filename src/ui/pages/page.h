#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "core/progress.h"
#include "ui/pages/page_services.h"
#include "ui/widgets/anchor_set.h"

namespace lumacore::ui {

class CBusyIndicator;
class CSkinButton;

// Page kinds of the navigation request.
enum PageKind : int {
    PAGE_HOME = 101,
    PAGE_DRIVE = 102,
    PAGE_RESULT = 103,  // a result page, or the partition page in the lost-partition mode
    // The mail-repair pages: the selection page of each file kind, and the repair log (opened with
    // kRepairLogMode).
    PAGE_REPAIR_MAIL_FOLDER = 105,      // .dbx files
    PAGE_REPAIR_PERSONAL_FOLDER = 106,  // .pst files
    PAGE_REPAIR_LOG = 109,
};
inline constexpr int kRepairLogMode = 108;

// The window that hosts the pages. Every move between pages goes through it.
class PageHost {
  public:
    virtual ~PageHost() = default;
    // Asks for a move to another page. It happens once the current event has been handled, so that a
    // page may ask from inside its own button handlers and is never destroyed under their feet.
    virtual void PostNavigate(int pageKind, int mode) = 0;
};

// What every page is given when it is created.
struct PageContext {
    PageServices& app;
    PageHost& host;
    int mode = 0;
};

// The user-facing name of a recovery mode ("Deleted File Recovery", ...); empty for other numbers.
QString ModeTitle(int mode);

// Base of the pages: fills the home view below the title strip, paints its piece of the window art and
// its heading, and has the header's Home, Help and About buttons where the home view has its own.
class CPage : public QWidget {
    Q_OBJECT
  public:
    CPage(const PageContext& context, QWidget* parent);
    ~CPage() override;

    int mode() const { return mode_; }
    CSkinButton* homeButton() const { return home_; }
    CSkinButton* helpButton() const { return help_; }
    CSkinButton* aboutButton() const { return about_; }
    // The id of the user guide's section about this page (Help and F1 open the guide there).
    virtual QString helpSection() const { return {}; }
    // Asked before Home leaves the page: false keeps the user here (a page with work to lose asks).
    virtual bool ConfirmLeave() { return true; }

    // Work of the page running on a worker thread (RunInBackground): the page shows it is busy.
    bool busy() const { return !jobs_.empty(); }
    CBusyIndicator* busyIndicator() const { return busyIndicator_; }

  Q_SIGNALS:
    // The last background job has ended and its completion has run: the page shows its result.
    void idle();

  protected:
    // The application, as far as the pages see it.
    PageServices& app() const { return app_; }
    PageHost& host() const { return host_; }
    void SetHeading(const QString& title, const QString& subtitle);
    // How a control of the page follows a window larger than the designed one (see AnchorSet); command
    // buttons and the header buttons have their rule already.
    void Anchor(QWidget* widget, FollowFlags follow) { anchors_.Add(widget, follow); }
    // A point drawn by the page, placed for its size by the same rule.
    QPoint Placed(QPoint designed, FollowFlags follow) const;

    // A command button of the page's bottom row.
    CSkinButton* AddCommandButton(const QString& windowText, const QString& glyph, const QRect& rect,
                                  bool primary = false);

    // Runs `work` on a worker thread and then `done` on the UI thread, so that a slow disk never freezes
    // the window. Until `done` has run the page is busy: `busyText` shows over the busy area with a busy
    // cursor, and BusyChanged(true) lets the page switch its controls off. `work` must not touch the
    // page or its widgets: it takes what it needs by value or shared pointer and leaves its results in
    // shared state that `done` reads. When the page goes away or StopBackground() is called, the
    // running jobs are asked to stop through the token `work` gets, and their `done` never runs; the
    // page does not wait for them.
    void RunInBackground(const QString& busyText, std::function<void(const StopToken&)> work,
                         std::function<void()> done);
    void StopBackground();
    // Where the busy text is shown: centred over `area` (the page's middle when none).
    void SetBusyArea(QWidget* area) { busyArea_ = area; }
    // Called when the page becomes busy and when it is idle again.
    virtual void BusyChanged(bool /*busy*/) {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct BackgroundJob;
    void FinishJob(const std::shared_ptr<BackgroundJob>& job);
    void ShowBusy(const QString& text);
    void PlaceBusyIndicator();

    std::vector<std::shared_ptr<BackgroundJob>> jobs_;
    CBusyIndicator* busyIndicator_ = nullptr;
    QWidget* busyArea_ = nullptr;

    PageServices& app_;
    PageHost& host_;
    AnchorSet anchors_;
    int mode_;
    QString title_;
    QString subtitle_;
    CSkinButton* home_ = nullptr;
    CSkinButton* help_ = nullptr;
    CSkinButton* about_ = nullptr;
};

// The places of the header buttons, shared by the home view and the pages so that they never jump.
QRect HeaderButtonRect(int index);  // 0 Home, 1 Help, 2 About
// The size a page is designed for: the window less its title strip.
QSize DesignedPageSize();

}  // namespace lumacore::ui
