#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <array>

#include "ui/pages/page.h"
#include "ui/widgets/anchor_set.h"

namespace lumacore {

namespace ui {
class CSkinButton;
}

class CRecoveryApp;

// The view below the title strip: the home page with the four recovery modes, and host of the one page
// the user works on. Every move between pages is a navigation request to it (page kind and mode); it
// destroys the current page before it creates the next.
class CHomeView : public QWidget, public ui::PageHost {
    Q_OBJECT
  public:
    // Ids of the mode buttons.
    enum ModeButtonId : int {
        kDeleteButton = 600,
        kPartitionButton = 601,
        kFormatButton = 602,
        kRawButton = 603
    };
    static constexpr const char* kCreateFailedMessage = "It was failed to create drive view window!!";

    CHomeView(CRecoveryApp& app, QWidget* parent);
    ~CHomeView() override;

    // The navigation request: 101 home (mode 0: with the mode buttons; otherwise without), 102 the drive
    // page for a mode, 103 the result page of the chosen partition or the partition page. Returns 1.
    int Navigate(int pageKind, int mode);
    void PostNavigate(int pageKind, int mode) override;

    int pageKind() const { return pageKind_; }
    ui::CPage* currentPage() const { return page_; }
    ui::CSkinButton* modeButton(int id) const;
    ui::CSkinButton* homeButton() const { return home_; }
    ui::CSkinButton* helpButton() const { return help_; }
    ui::CSkinButton* aboutButton() const { return about_; }
    // The entry into the mail-repair mode (see ui/repair_menu.h).
    ui::CSkinButton* repairButton() const { return repair_; }
    QMenu* repairMenu() const { return repairMenu_; }
    bool homePageShown() const;
    // The user guide at the section of what is shown (F1).
    void ShowHelp();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnModeButton(int id);
    void OpenRepair(int pageKind);
    void DestroyPage();
    ui::CPage* CreatePage(int pageKind, int mode);
    void SetHomeButtonsVisible(bool visible);
    void SetModeButtonsVisible(bool visible);

    CRecoveryApp& app_;
    int pageKind_ = ui::PAGE_HOME;
    QPointer<ui::CPage> page_;
    std::array<ui::CSkinButton*, 4> modeButtons_{};
    ui::CSkinButton* home_ = nullptr;
    ui::CSkinButton* help_ = nullptr;
    ui::CSkinButton* about_ = nullptr;
    ui::CSkinButton* repair_ = nullptr;
    QMenu* repairMenu_ = nullptr;
    ui::AnchorSet anchors_;
};

}  // namespace lumacore
