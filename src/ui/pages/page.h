#pragma once

#include <QString>
#include <QWidget>

namespace lumacore {
class CRecoveryApp;
}

namespace lumacore::ui {

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
    CRecoveryApp& app;
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

    int mode() const { return mode_; }
    CSkinButton* homeButton() const { return home_; }
    CSkinButton* helpButton() const { return help_; }
    CSkinButton* aboutButton() const { return about_; }

protected:
    CRecoveryApp& app() const { return app_; }
    PageHost& host() const { return host_; }
    void SetHeading(const QString& title, const QString& subtitle);

    // A command button of the page's bottom row.
    CSkinButton* AddCommandButton(const QString& windowText, const QString& glyph, const QRect& rect,
                                  bool primary = false);

    void paintEvent(QPaintEvent* event) override;

private:
    CRecoveryApp& app_;
    PageHost& host_;
    int mode_;
    QString title_;
    QString subtitle_;
    CSkinButton* home_ = nullptr;
    CSkinButton* help_ = nullptr;
    CSkinButton* about_ = nullptr;
};

// The places of the header buttons, shared by the home view and the pages so that they never jump.
QRect HeaderButtonRect(int index);  // 0 Home, 1 Help, 2 About

}  // namespace lumacore::ui
