#include "app/home_view.h"

#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "ui/pages/drive_view_page.h"
#include "ui/pages/repair_log_page.h"
#include "ui/pages/repair_selection_page.h"
#include "ui/pages/result_page_factory.h"
#include "ui/repair_menu.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"

namespace lumacore {

namespace sk = ui::skin;

namespace {

struct ModeButtonSpec {
    int id;
    const char* windowText;
    const char* label;
    const char* description;
    const char* picture;
};

constexpr std::array<ModeButtonSpec, 4> kModeButtons = {{
    {CHomeView::kDeleteButton, "delete", "Deleted Files", "Undelete files from FAT, NTFS and EXT volumes",
     "mode-deleted"},
    {CHomeView::kPartitionButton, "partition", "Lost Partitions", "Find deleted partitions and restore them",
     "mode-partition"},
    {CHomeView::kFormatButton, "format", "Formatted Drive", "Recover files after a quick format",
     "mode-formatted"},
    {CHomeView::kRawButton, "raw", "RAW Search", "Find files in raw sectors by their signatures", "mode-raw"},
}};

constexpr int kTileWidth = 184, kTileHeight = 262, kTileTop = 98, kTileGap = 6;

int ModeOfButton(int id) {
    switch (id) {
        case CHomeView::kDeleteButton:
            return SCAN_DELETED;
        case CHomeView::kPartitionButton:
            return SCAN_PARTITION;
        case CHomeView::kFormatButton:
            return SCAN_FORMATTED;
        default:
            return SCAN_RAW;
    }
}

}  // namespace

CHomeView::CHomeView(CRecoveryApp& app, QWidget* parent)
    : QWidget(parent), app_(app), anchors_(ui::DesignedPageSize()) {
    setObjectName(QStringLiteral("HomeView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int tilesWidth = 4 * kTileWidth + 3 * kTileGap;
    const int left = (sk::kWindowWidth - tilesWidth) / 2;
    for (std::size_t i = 0; i < kModeButtons.size(); ++i) {
        const ModeButtonSpec& spec = kModeButtons[i];
        const sk::ButtonLook look{sk::ButtonStyle::ModeTile, QString::fromUtf8(spec.label),
                                  QString::fromUtf8(spec.description), QString::fromLatin1(spec.picture)};
        const QRect rect(left + static_cast<int>(i) * (kTileWidth + kTileGap), kTileTop, kTileWidth,
                         kTileHeight);
        auto* button = new ui::CSkinButton(QString::fromLatin1(spec.windowText), look, rect, spec.id, this);
        connect(button, &QAbstractButton::clicked, this, [this, id = spec.id] { OnModeButton(id); });
        modeButtons_[i] = button;
        anchors_.Add(button, ui::Follow::CentreX | ui::Follow::CentreY);
    }
    const auto headerLook = [](const char* label, const char* glyph) {
        return sk::ButtonLook{
            sk::ButtonStyle::Header, QString::fromLatin1(label), {}, QString::fromLatin1(glyph)};
    };
    home_ = new ui::CSkinButton(QStringLiteral("Home"), headerLook("Home", "home"), ui::HeaderButtonRect(0),
                                0, this);
    help_ = new ui::CSkinButton(QStringLiteral("Help"), headerLook("Help", "help"), ui::HeaderButtonRect(1),
                                0, this);
    about_ = new ui::CSkinButton(QStringLiteral("About"), headerLook("About", "about"),
                                 ui::HeaderButtonRect(2), 0, this);
    repair_ = new ui::CSkinButton(QStringLiteral("Repair"), headerLook("Repair", "repair"),
                                  ui::HeaderButtonRect(-1), 0, this);
    for (QWidget* button : {home_, help_, about_, repair_}) anchors_.Add(button, ui::Follow::Right);
    repairMenu_ = ui::MakeRepairMenu(this, [this](int pageKind) { OpenRepair(pageKind); });
    connect(repair_, &QAbstractButton::clicked, this,
            [this] { repairMenu_->popup(repair_->mapToGlobal(QPoint(0, repair_->height()))); });
    connect(home_, &QAbstractButton::clicked, this, [this] { Navigate(ui::PAGE_HOME, 0); });
    connect(help_, &QAbstractButton::clicked, this, [this] { ShowHelp(); });
    connect(about_, &QAbstractButton::clicked, this, [this] { ui::ShowAboutBox(this); });
}

CHomeView::~CHomeView() {
    DestroyPage();
}

ui::CSkinButton* CHomeView::modeButton(int id) const {
    for (ui::CSkinButton* button : modeButtons_) {
        if (button->id() == id) return button;
    }
    return nullptr;
}

bool CHomeView::homePageShown() const {
    return !page_ && modeButtons_[0]->isVisible();
}

void CHomeView::ShowHelp() {
    const QString section = page_ ? page_->helpSection() : QString();
    ui::OpenHelpDocument(this, section.isEmpty() ? QStringLiteral("modes") : section);
}

void CHomeView::OnModeButton(int id) {
    app_.settings.RecoveryCategory = 0;
    const int mode = ModeOfButton(id);
    // The lost-partition mode has no drive page: its own page chooses the disk.
    Navigate(mode == SCAN_PARTITION ? ui::PAGE_RESULT : ui::PAGE_DRIVE, mode);
    SetModeButtonsVisible(false);
    update();
}

void CHomeView::OpenRepair(int pageKind) {
    // From the home page only: a page may be in the middle of its work.
    if (page_) return;
    app_.settings.RepairFiles.clear();
    Navigate(pageKind, 0);
    SetModeButtonsVisible(false);
}

void CHomeView::PostNavigate(int pageKind, int mode) {
    QTimer::singleShot(0, this, [this, pageKind, mode] { Navigate(pageKind, mode); });
}

void CHomeView::DestroyPage() {
    if (!page_) return;
    // Gone before the next page exists: two pages never share the view, nor the device handles and
    // settings they work on.
    delete page_.data();
    page_ = nullptr;
}

ui::CPage* CHomeView::CreatePage(int pageKind, int mode) {
    const ui::PageContext context{app_, *this, mode};
    if (pageKind == ui::PAGE_DRIVE) return new ui::CDriveViewPage(context, this);
    if (pageKind == ui::PAGE_REPAIR_MAIL_FOLDER) return new ui::CDbxSelectionPage(context, this);
    if (pageKind == ui::PAGE_REPAIR_PERSONAL_FOLDER) return new ui::CPstSelectionPage(context, this);
    if (pageKind == ui::PAGE_REPAIR_LOG) return new ui::CRepairLogPage(context, this);
    const auto kind = ui::ChooseResultPage(mode, app_.settings.SelectedPartition.FsName());
    if (!kind) return nullptr;
    return app_.resultPages().Create(*kind, context, this);
}

int CHomeView::Navigate(int pageKind, int mode) {
    DestroyPage();
    pageKind_ = pageKind;
    if (pageKind == ui::PAGE_HOME) {
        SetHomeButtonsVisible(true);
        SetModeButtonsVisible(mode == 0);
        update();
        return 1;
    }
    ui::CPage* page = CreatePage(pageKind, mode);
    if (!page) {
        // Also when no page reads the chosen file system: a blank view would leave the user nowhere.
        ui::ShowMessage(this, QString::fromLatin1(kCreateFailedMessage));
        return 1;
    }
    page_ = page;
    page->setGeometry(rect());
    page->show();
    page->setFocus();
    SetHomeButtonsVisible(false);
    update();
    return 1;
}

void CHomeView::SetHomeButtonsVisible(bool visible) {
    home_->setVisible(visible);
    help_->setVisible(visible);
    about_->setVisible(visible);
    repair_->setVisible(visible);
}

void CHomeView::SetModeButtonsVisible(bool visible) {
    for (ui::CSkinButton* button : modeButtons_) button->setVisible(visible);
}

void CHomeView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    anchors_.Apply(event->size());
    if (page_) page_->setGeometry(rect());
}

void CHomeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    sk::PaintWindowArt(painter, *this, QPoint(0, sk::kTitleStripHeight));
    if (page_) return;
    const bool home = homePageShown();
    sk::PaintHeading(painter, home ? QStringLiteral("Welcome") : QString(),
                     home ? QStringLiteral("Choose what you want to recover") : QString());
    if (!home) {
        // The home buttons without the modes (after a finished repair): say how to go on.
        painter.setFont(sk::Font(13));
        painter.setPen(sk::colour::kTextMuted);
        painter.drawText(
            rect().adjusted(0, sk::kHeaderHeight - sk::kTitleStripHeight, 0, 0), Qt::AlignCenter,
            QStringLiteral("Press Home to choose a recovery mode, or Repair to repair more mail files."));
        return;
    }

    // Footer: a hint worth knowing before the first recovery.
    const QRectF footer(1, height() - sk::kFooterHeight, width() - 2, sk::kFooterHeight - 1);
    painter.fillRect(footer, QColor(0xe4, 0xea, 0xf2));
    painter.fillRect(QRectF(footer.left(), footer.top(), footer.width(), 1), sk::colour::kCardBorder);
    painter.setFont(sk::Font(11));
    painter.setPen(sk::colour::kTextMuted);
    painter.drawText(footer.adjusted(20, 0, -20, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Tip: save recovered files to a different drive than the one you scan."));
    painter.drawText(footer.adjusted(20, 0, -20, 0), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Disks are read, never written, while you search"));
}

}  // namespace lumacore
