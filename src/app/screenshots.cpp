#include "app/screenshots.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "app/home_view.h"
#include "app/main_frame.h"
#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "disk/disk_inventory.h"
#include "preview/hex_dump_text.h"
#include "preview/image_type.h"
#include "ui/dialogs/filter_dlg.h"
#include "ui/dialogs/overwrite_dlg.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/dialogs/raw_options_dlg.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/pages/drive_view_page.h"
#include "ui/pages/partition_page.h"
#include "ui/pages/repair_log_page.h"
#include "ui/pages/repair_selection_page.h"
#include "ui/preview/file_info_dlg.h"
#include "ui/preview/image_view_dlg.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_page.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/candidate_list.h"
#include "ui/widgets/disk_list_box.h"

namespace lumacore {

namespace {

namespace sk = ui::skin;

void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Until the page's work on its worker thread (the disk listing, ...) is done.
void WaitIdle(ui::CPage* page) {
    if (!page || !page->busy()) return;
    QEventLoop wait;
    QObject::connect(page, &ui::CPage::idle, &wait, &QEventLoop::quit);
    QTimer::singleShot(20000, &wait, &QEventLoop::quit);
    wait.exec();
}

class Shooter {
  public:
    explicit Shooter(const QString& folder) : dir_(folder) { dir_.mkpath(QStringLiteral(".")); }

    void Save(QWidget& widget, const QString& name) {
        Settle();
        SaveNow(widget, name);
    }
    // Without letting queued events run first (a page whose worker is about to report).
    void SaveNow(QWidget& widget, const QString& name) {
        const QString path = dir_.filePath(name + QStringLiteral(".png"));
        if (widget.grab().save(path)) written_ << path;
    }
    void Save(const QPixmap& pixmap, const QString& name) {
        const QString path = dir_.filePath(name + QStringLiteral(".png"));
        if (pixmap.save(path)) written_ << path;
    }
    const QStringList& written() const { return written_; }

  private:
    QDir dir_;
    QStringList written_;
};

// The first tree item of a kind (disk or partition) for which `accept` holds.
QTreeWidgetItem* FindItem(QTreeWidget* tree, int kind, const std::function<bool(QTreeWidgetItem*)>& accept) {
    QTreeWidgetItemIterator it(tree);
    for (; *it; ++it) {
        if ((*it)->data(0, ui::CDriveViewPage::kKindRole).toInt() == kind && accept(*it)) return *it;
    }
    return nullptr;
}

void ShootDrivePage(Shooter& shooter, CMainFrame& frame, int mode, const QString& name) {
    frame.view()->Navigate(ui::PAGE_DRIVE, mode);
    auto* page = qobject_cast<ui::CDriveViewPage*>(frame.view()->currentPage());
    if (!page) return;
    // The listing runs on a worker: the page as it opens, busy, once.
    if (mode == SCAN_DELETED) shooter.SaveNow(frame, name + QStringLiteral("-listing"));
    WaitIdle(page);
    shooter.Save(frame, name);
    if (QTreeWidgetItem* disk = FindItem(page->tree(), ui::CDriveViewPage::kDiskItem,
                                         [](QTreeWidgetItem* item) { return item->childCount() > 1; })) {
        page->tree()->setCurrentItem(disk);
        shooter.Save(frame, name + QStringLiteral("-disk"));
    }
    if (QTreeWidgetItem* empty = FindItem(page->tree(), ui::CDriveViewPage::kDiskItem,
                                          [](QTreeWidgetItem* item) { return item->childCount() == 0; })) {
        page->tree()->setCurrentItem(empty);
        shooter.Save(frame, name + QStringLiteral("-not-accessible"));
    }
    if (QTreeWidgetItem* partition =
            FindItem(page->tree(), ui::CDriveViewPage::kPartitionItem,
                     [](QTreeWidgetItem* item) { return item->text(0).contains(QStringLiteral("FAT32")); })) {
        page->tree()->setCurrentItem(partition);
        shooter.Save(frame, name + QStringLiteral("-partition"));
    }
}

// The partition page while it lists the disks, as it opens, after Auto Scan with a candidate chosen,
// its disk list open, and the summary of a backup.
void ShootPartitionPage(Shooter& shooter, CMainFrame& frame) {
    frame.view()->Navigate(ui::PAGE_RESULT, SCAN_PARTITION);
    auto* page = qobject_cast<ui::CPartitionPage*>(frame.view()->currentPage());
    if (!page) return;
    shooter.SaveNow(frame, QStringLiteral("07-partition-page-listing"));
    WaitIdle(page);
    shooter.Save(frame, QStringLiteral("07-partition-page"));
    page->AutoScan();
    if (page->candidateList()->count() > 1) page->candidateList()->setCurrentRow(1);
    shooter.Save(frame, QStringLiteral("07-partition-page-candidates"));
    page->diskList()->showPopup();
    Settle();
    if (QWidget* popup = page->diskList()->view()->window()) {
        // The open list over the page, as the user sees it.
        QPixmap shot = frame.grab();
        QPainter painter(&shot);
        painter.drawPixmap(frame.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
        painter.end();
        shooter.Save(shot, QStringLiteral("07-partition-page-disk-list"));
    }
    page->diskList()->hidePopup();
    QTemporaryDir folder;
    if (folder.isValid() && page->BackupTo(folder.filePath(QStringLiteral("backup.pbf")))) {
        WaitIdle(page);
        auto box = ui::MakeRunSummaryBox(&frame, page->lastSummary());
        box->show();
        shooter.Save(*box, QStringLiteral("24-backup-summary"));
    }
}

// The repair menu, both selection pages, a finished repair log, the overwrite question, the RAW mode's
// whole-disk item and its options dialog.
void ShootRepairAndRawOptions(Shooter& shooter, CMainFrame& frame, CRecoveryApp& app) {
    frame.view()->Navigate(ui::PAGE_HOME, 0);
    QMenu* menu = frame.view()->repairMenu();
    menu->popup(frame.view()->repairButton()->mapToGlobal(QPoint(0, frame.view()->repairButton()->height())));
    shooter.Save(*menu, QStringLiteral("14-repair-menu"));
    menu->hide();

    QTemporaryDir folder;
    const QString mail = folder.path() + QStringLiteral("/Mail");
    const QString output = folder.path() + QStringLiteral("/Repaired");
    QDir().mkpath(mail);
    QDir().mkpath(output);
    // A folder file that passes the format check, one that does not, and a personal folder file.
    const auto write = [&](const QString& name, int size, bool localStore) {
        QByteArray bytes(size, '\0');
        if (localStore) bytes.replace(9409, 11, QByteArray("LocalStore\0", 11));
        QFile file(mail + QLatin1Char('/') + name);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
    };
    write(QStringLiteral("Inbox.dbx"), 16384, true);
    write(QStringLiteral("Sent Items.dbx"), 12288, true);
    write(QStringLiteral("notes.dbx"), 2048, false);
    write(QStringLiteral("Archive.pst"), 8192, false);

    app.settings.RepairOutputFolder = output.toStdString();
    for (const int kind : {ui::PAGE_REPAIR_MAIL_FOLDER, ui::PAGE_REPAIR_PERSONAL_FOLDER}) {
        app.settings.RepairFiles.clear();
        frame.view()->Navigate(kind, 0);
        auto* page = qobject_cast<ui::CRepairSelectionPage*>(frame.view()->currentPage());
        if (!page) continue;
        if (kind == ui::PAGE_REPAIR_MAIL_FOLDER) {
            page->AddFiles({mail + QStringLiteral("/Inbox.dbx"), mail + QStringLiteral("/Sent Items.dbx"),
                            mail + QStringLiteral("/notes.dbx")});
            shooter.Save(frame, QStringLiteral("15-repair-dbx"));
        } else {
            page->AddFiles({mail + QStringLiteral("/Archive.pst")});
            shooter.Save(frame, QStringLiteral("16-repair-pst"));
        }
    }
    app.settings.RepairKind = kRepairMailFolder;
    app.settings.RepairFiles = {(mail + QStringLiteral("/Inbox.dbx")).toStdString(),
                                (mail + QStringLiteral("/Sent Items.dbx")).toStdString(),
                                (mail + QStringLiteral("/notes.dbx")).toStdString()};
    frame.view()->Navigate(ui::PAGE_REPAIR_LOG, ui::kRepairLogMode);
    if (auto* log = qobject_cast<ui::CRepairLogPage*>(frame.view()->currentPage())) {
        QEventLoop wait;
        QObject::connect(log, &ui::CRepairLogPage::repairFinished, &wait, &QEventLoop::quit);
        QTimer::singleShot(10000, &wait, &QEventLoop::quit);
        wait.exec();
        shooter.Save(frame, QStringLiteral("17-repair-log"));
    }
    app.settings.RepairFiles.clear();
    app.settings.RepairOutputFolder.clear();
    {
        ui::COverwriteDlg dialog(QStringLiteral("Inbox.dbx"), &frame);
        dialog.show();
        shooter.Save(dialog, QStringLiteral("18-overwrite-dialog"));
    }

    frame.view()->Navigate(ui::PAGE_DRIVE, SCAN_RAW);
    auto* drive = qobject_cast<ui::CDriveViewPage*>(frame.view()->currentPage());
    if (!drive) return;
    WaitIdle(drive);
    if (QTreeWidgetItem* whole = FindItem(drive->tree(), ui::CDriveViewPage::kWholeDiskItem,
                                          [](QTreeWidgetItem*) { return true; })) {
        drive->tree()->setCurrentItem(whole);
        shooter.Save(frame, QStringLiteral("19-drive-raw-whole-disk"));
    }
    ui::CRawOptionsDlg dialog(app.settings, app.rawTypeSelection, &frame);
    dialog.show();
    shooter.Save(dialog, QStringLiteral("20-raw-options"));
    frame.view()->Navigate(ui::PAGE_HOME, 0);
}

// The folder to show on a result page: the first (breadth first) that lists a picture, else the first
// that lists anything.
ui::FolderId FolderToShow(const ui::ResultFamily& family) {
    ui::FolderId withFiles = ui::kNoFolder;
    std::vector<ui::FolderId> queue;
    if (family.root() != ui::kNoFolder) queue.push_back(family.root());
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const ui::FolderId id = queue[head];
        for (ui::FileId file : family.filesOf(id)) {
            if (ImageTypeFromName(family.fileName(file)) != 0) return id;
        }
        if (withFiles == ui::kNoFolder && !family.filesOf(id).empty()) withFiles = id;
        for (ui::FolderId child : family.children(id)) queue.push_back(child);
    }
    return withFiles == ui::kNoFolder ? family.root() : withFiles;
}

// A result page after its scan, in details and in icons view, with the first two files ticked.
bool ShootResultPage(Shooter& shooter, CRecoveryApp& app, CMainFrame& frame, int mode,
                     const std::function<bool(const PartitionInfo&)>& accept, const QString& name) {
    CDiskInventory inventory(*app.devices());
    inventory.Refresh();
    bool chosen = false;
    for (int v = 0; v < inventory.volumeCount() && !chosen; ++v) {
        if (!accept(inventory.GetVolume(v))) continue;
        app.settings.SelectPartition(inventory.GetVolume(v));
        chosen = true;
    }
    if (!chosen) return false;
    frame.view()->Navigate(ui::PAGE_RESULT, mode);
    auto* page = qobject_cast<ui::CResultPage*>(frame.view()->currentPage());
    if (!page) return false;
    page->StartScan();
    page->SelectFolder(FolderToShow(page->family()));
    ui::ResultListModel& list = page->listModel();
    for (int row = 0; row < std::min(2, list.rowCount()); ++row) {
        list.setData(list.index(row, ui::kColumnName), Qt::Checked, Qt::CheckStateRole);
    }
    shooter.Save(frame, name);
    page->SetViewMode(ui::VIEW_ICONS);
    shooter.Save(frame, name + QStringLiteral("-icons"));
    page->SetViewMode(ui::VIEW_DETAILS);
    return true;
}

QPixmap ButtonSheet(qreal dpr) {
    struct Row {
        sk::ButtonLook look;
        QSize size;
    };
    const Row rows[] = {
        {{sk::ButtonStyle::ModeTile, QStringLiteral("Deleted Files"),
          QStringLiteral("Undelete files from FAT, NTFS and EXT volumes"), QStringLiteral("mode-deleted")},
         QSize(184, 262)},
        {{sk::ButtonStyle::Primary, QStringLiteral("Next"), {}, QStringLiteral("next")}, QSize(104, 36)},
        {{sk::ButtonStyle::Secondary, QStringLiteral("Option"), {}, QStringLiteral("option")},
         QSize(104, 36)},
        {{sk::ButtonStyle::Header, QStringLiteral("Help"), {}, QStringLiteral("help")}, QSize(82, 28)},
        {{sk::ButtonStyle::Minimize, {}, {}, {}}, QSize(25, 17)},
        {{sk::ButtonStyle::Close, {}, {}, {}}, QSize(25, 17)},
    };
    const sk::ButtonState states[] = {sk::ButtonState::Normal, sk::ButtonState::Hover,
                                      sk::ButtonState::Pressed, sk::ButtonState::Disabled};
    const QSize logical(4 * 200 + 20, 262 + 5 * 50 + 40);
    QPixmap sheet(logical * dpr);
    sheet.setDevicePixelRatio(dpr);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    // Header-style buttons are drawn for the dark header band.
    int y = 10;
    for (const Row& row : rows) {
        const bool dark = row.look.style == sk::ButtonStyle::Header ||
                          row.look.style == sk::ButtonStyle::Minimize ||
                          row.look.style == sk::ButtonStyle::Close;
        for (int s = 0; s < 4; ++s) {
            const QPoint at(10 + s * 200, y);
            if (dark)
                p.fillRect(QRect(at - QPoint(6, 6), row.size + QSize(12, 12)), sk::colour::kHeaderBottom);
            p.drawPixmap(at, sk::ButtonFace(row.look, row.size, states[s], dpr));
        }
        y += row.size.height() + 14;
    }
    return sheet;
}

// A picture for the preview windows: a sky, a sun and hills.
QImage PreviewPicture() {
    QImage picture(420, 260, QImage::Format_RGB32);
    QPainter p(&picture);
    QLinearGradient sky(0, 0, 0, 260);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(200, 225, 245));
    p.fillRect(picture.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 60));
    p.drawEllipse(QPoint(320, 70), 34, 34);
    p.setBrush(QColor(70, 140, 70));
    p.drawEllipse(QRect(-80, 170, 360, 200));
    p.setBrush(QColor(50, 110, 55));
    p.drawEllipse(QRect(160, 190, 380, 200));
    return picture;
}

}  // namespace

QStringList WriteScreenshots(CRecoveryApp& app, const QString& folder, QSize windowSize) {
    Shooter shooter(folder);
    // Message boxes would stop the run; the probe's message is shot on its own below.
    ui::SetMessageObserver([](const QString&, const QString&) {});

    CMainFrame frame(app);
    frame.setWindowTitle(QString::fromLatin1(ui::kProductTitle));
    if (windowSize.isValid()) frame.resize(windowSize);
    frame.show();
    shooter.Save(frame, QStringLiteral("01-home"));
    if (auto* tile = frame.view()->modeButton(CHomeView::kFormatButton)) {
        QApplication::setActiveWindow(&frame);
        tile->setFocus();
        shooter.Save(frame, QStringLiteral("02-home-tile-focused"));
        tile->clearFocus();
    }

    ShootDrivePage(shooter, frame, SCAN_DELETED, QStringLiteral("03-drive-deleted"));
    ShootDrivePage(shooter, frame, SCAN_FORMATTED, QStringLiteral("04-drive-formatted"));
    ShootDrivePage(shooter, frame, SCAN_RAW, QStringLiteral("05-drive-raw"));
    frame.view()->Navigate(ui::PAGE_DRIVE, SCAN_DELETED);
    if (auto* page = qobject_cast<ui::CDriveViewPage*>(frame.view()->currentPage())) {
        WaitIdle(page);
        if (QTreeWidgetItem* fat32 = FindItem(
                page->tree(), ui::CDriveViewPage::kPartitionItem,
                [](QTreeWidgetItem* item) { return item->text(0).contains(QStringLiteral("FAT32")); })) {
            page->tree()->setCurrentItem(fat32);
        }
    }

    // The result pages, each on the first partition it reads.
    const auto fsIs = [](const char* name) {
        return [name](const PartitionInfo& v) { return v.FsName() == name; };
    };
    ShootResultPage(shooter, app, frame, SCAN_DELETED, fsIs("FAT32"), QStringLiteral("06-result-fat"));
    ShootResultPage(shooter, app, frame, SCAN_DELETED, fsIs("NTFS"), QStringLiteral("06-result-ntfs"));
    // An EXT2 volume has the more telling list (this kernel leaves EXT3 deletions only in the journal).
    if (!ShootResultPage(shooter, app, frame, SCAN_DELETED, fsIs("EXT2"), QStringLiteral("06-result-ext"))) {
        ShootResultPage(shooter, app, frame, SCAN_DELETED, fsIs("EXT3"), QStringLiteral("06-result-ext"));
    }
    ShootResultPage(shooter, app, frame, SCAN_RAW, fsIs("FAT32"), QStringLiteral("06-result-raw"));
    ShootPartitionPage(shooter, frame);
    frame.view()->Navigate(ui::PAGE_HOME, 0);

    {
        FilterSettings filter = FilterSettings::Initial();
        ui::CFilterDlg dialog(filter, &frame);
        dialog.show();
        shooter.Save(dialog, QStringLiteral("08-filter-dialog"));
        dialog.extensionCombo()->setCurrentIndex(3);
        dialog.dateCombo()->setCurrentIndex(2);
        dialog.sizeCombo()->setCurrentIndex(4);
        shooter.Save(dialog, QStringLiteral("09-filter-dialog-between"));
    }
    {
        RecoverySettings& settings = app.settings;
        ui::CProgressDlg dialog(settings.Progress, &frame);
        std::int64_t now = 1000;
        dialog.SetClock([&now] { return now; });
        dialog.SetTitle(QStringLiteral("Scanning deleted files..."));
        dialog.show();
        settings.Progress.Start("Reading folder \\Projects\\2023\\Q4", 100);
        settings.Progress.SetDone(37);
        now += 74;
        dialog.OnBarTimer();
        dialog.OnClockTimer();
        shooter.Save(dialog, QStringLiteral("10-progress-dialog"));
        dialog.Finish();
        settings.Progress.Start("", 0);
    }
    {
        auto about = ui::MakeAboutBox(&frame);
        about->show();
        shooter.Save(*about, QStringLiteral("11-about"));
    }
    {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(ui::kApplicationName),
                        QString::fromLatin1(CHomeView::kCreateFailedMessage), QMessageBox::Ok, &frame);
        box.show();
        shooter.Save(box, QStringLiteral("12-message"));
    }
    shooter.Save(ButtonSheet(frame.devicePixelRatioF()), QStringLiteral("13-button-states"));
    {
        // The FAT page's dump of a found file: its first 1024 bytes.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        PreviewPicture().save(&buffer, "PNG");
        const auto* first = reinterpret_cast<const std::byte*>(png.constData());
        const std::span<const std::byte> bytes(
            first, static_cast<std::size_t>(std::min<qsizetype>(png.size(), 1024)));
        ui::CFileInfoDlg dialog(QString::fromStdString(HexDumpText(bytes)), &frame);
        dialog.show();
        shooter.Save(dialog, QStringLiteral("21-file-information"));
    }
    {
        ui::CImageViewDlg dialog(PreviewPicture(), &frame);
        dialog.show();
        shooter.Save(dialog, QStringLiteral("22-image-view"));
        dialog.resize(360, 200);
        shooter.Save(dialog, QStringLiteral("23-image-view-squeezed"));
    }
    ShootRepairAndRawOptions(shooter, frame, app);
    ui::SetMessageObserver({});
    return shooter.written();
}

}  // namespace lumacore
