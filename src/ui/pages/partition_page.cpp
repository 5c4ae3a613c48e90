#include "ui/pages/partition_page.h"

#include <QDateTime>
#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "core/recovery_settings.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "partition/table_refresh.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/dialogs/progress_dlg.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/candidate_list.h"
#include "ui/widgets/card.h"
#include "ui/widgets/disk_list_box.h"
#include "ui/widgets/partition_chart.h"
#include "ui/worker/background_job.h"

namespace lumacore::ui {

namespace {

const QRect kLeftCard(20, 84, 440, 288);
const QRect kRightCard(470, 84, 295, 288);
const QString kBackupFilter = QStringLiteral("Partition backup files (*.pbf)");

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The disks and their records as they are now; stops before the next device when asked.
std::shared_ptr<CDiskInventory> ListDisks(const std::shared_ptr<const DeviceMap>& devices, const StopToken& stop) {
    auto inventory = std::make_shared<CDiskInventory>(*devices);
    inventory->Refresh(&stop);
    return inventory;
}

QString DiskText(const DiskInfo& disk) {
    return QStringLiteral("%1 (disk %2)").arg(QString::fromStdString(disk.Model())).arg(disk.diskNumber);
}

// An error message without the headline it repeats ("Can't backup the disk! (why)" gives "why").
QString WithoutHeadline(const std::string& message, const char* headline) {
    QString text = QString::fromStdString(message);
    const QString prefix = Text(headline);
    if (!text.startsWith(prefix)) return text;
    text = text.mid(prefix.size()).trimmed();
    if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')'))) text = text.mid(1, text.size() - 2);
    return text;
}

// The File Path column: a path loses its middle when it does not fit (its folder's start and its file
// name stay), the other rows' notes their end; the tip has the whole text.
class BackupPathDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const bool file =
            index.siblingAtColumn(0).data(CPartitionPage::kRowKindRole).toInt() == CPartitionPage::kBackupFileRow;
        option->textElideMode = file ? Qt::ElideMiddle : Qt::ElideRight;
    }
};

// What the views' measure of an item leaves out (the style sheet's padding).
constexpr int kFitSlack = 12;

RunSummary SectorSummary(const QString& action) {
    RunSummary summary;
    summary.action = action;
    summary.itemOne = QStringLiteral("sector");
    summary.itemMany = QStringLiteral("sectors");
    return summary;
}

}  // namespace

// What a background step of the page hands back to the UI thread.
struct CPartitionPage::DiskWork {
    std::shared_ptr<CDiskInventory> inventory;  // the disks listed again, when the step did
    bool rightsMissing = false;
    // Loading a backup file.
    std::optional<Result<PartitionList>> loaded;
    // Writing a backup.
    std::optional<Result<void>> backup;
    std::uintmax_t backupBytes = 0;
    std::size_t backupRecords = 0;
    // A restore.
    RestorePlan plan;
    std::filesystem::path undoFile;
    std::string error;
    bool applied = false;
    bool maybePartial = false;
    TableRefresh refresh;
    // An undo.
    std::filesystem::path undoFound;
    std::size_t undoSectors = 0;
    std::optional<Result<std::size_t>> undone;
};

CPartitionPage::CPartitionPage(const PageContext& context, QWidget* parent) : CPage(context, parent) {
    setObjectName(QStringLiteral("PartitionPage"));
    SetHeading(ModeTitle(mode()),
               QStringLiteral("Choose a disk, find its lost partitions, and write one back"));

    auto* left = new CCard(kLeftCard, this);
    disks_ = new CDiskListBox(left);
    disks_->setGeometry(10, 10, kLeftCard.width() - 20, CDiskListBox::kItemHeight + 6);
    chart_ = new CPartitionChart(left);
    chart_->setGeometry(10, 54, kLeftCard.width() - 20, 96);
    candidates_ = new CCandidateList(left);
    candidates_->setGeometry(10, 156, kLeftCard.width() - 20, kLeftCard.height() - 166);
    left->Anchor(disks_, Follow::Width);
    left->Anchor(chart_, Follow::Width);
    left->Anchor(candidates_, Follow::Width | Follow::Height);
    Anchor(left, Follow::HalfWidth | Follow::Height);
    candidates_->setToolTip(
        QStringLiteral("Candidates: double-click \"Auto Scan\", \"Deep Scan\" or a backup file "
                       "on the right to fill this list"));

    auto* right = new CCard(kRightCard, this);
    backups_ = new QTreeWidget(right);
    backups_->setObjectName(QStringLiteral("BackupList"));
    backups_->setGeometry(QRect(QPoint(0, 0), kRightCard.size()).adjusted(8, 8, -8, -8));
    right->Anchor(backups_, Follow::Width | Follow::Height);
    Anchor(right, Follow::HalfRight | Follow::HalfWidth | Follow::Height);
    backups_->setColumnCount(2);
    backups_->setHeaderLabels({QStringLiteral("Date Created"), QStringLiteral("File Path")});
    // The dates whole; the paths take the rest of the row, shortened in the middle when they must be,
    // so that the list does not scroll sideways.
    backups_->header()->setStretchLastSection(false);
    backups_->header()->setMinimumSectionSize(40);
    backups_->setItemDelegateForColumn(1, new BackupPathDelegate(backups_));
    backups_->viewport()->installEventFilter(this);
    backups_->setRootIsDecorated(false);
    backups_->setSelectionBehavior(QAbstractItemView::SelectRows);
    backups_->setUniformRowHeights(true);
    backups_->setFrameShape(QFrame::NoFrame);

    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    undo_ =
        AddCommandButton(QStringLiteral("Undo Restore..."), QStringLiteral("undo"), QRect(128, 386, 150, 36));
    undo_->setToolTip(
        QStringLiteral("Put back the sectors that the last partition restore on this disk changed"));
    backup_ = AddCommandButton(QStringLiteral("Backup"), QStringLiteral("add"), QRect(437, 386, 104, 36));
    recovery_ =
        AddCommandButton(QStringLiteral("Recovery"), QStringLiteral("next"), QRect(549, 386, 104, 36), true);
    next_ = AddCommandButton(QStringLiteral("Next"), QStringLiteral("next"), QRect(661, 386, 104, 36));
    // The partition page is the last step of its mode: Next leads nowhere.
    next_->setEnabled(false);

    connect(back_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(PAGE_HOME, 0); });
    connect(undo_, &QAbstractButton::clicked, this, &CPartitionPage::OnUndo);
    connect(backup_, &QAbstractButton::clicked, this, &CPartitionPage::OnBackup);
    connect(recovery_, &QAbstractButton::clicked, this, &CPartitionPage::OnRecovery);
    connect(disks_, &QComboBox::currentIndexChanged, this, &CPartitionPage::OnDiskChanged);
    connect(candidates_, &QListWidget::itemSelectionChanged, this, &CPartitionPage::OnCandidateChanged);
    // A double-click, or Enter on a row.
    connect(backups_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { OnBackupRowActivated(item); });

    SetBusyArea(disks_);
    devices_ = app().devices();
    inventory_ = std::make_shared<CDiskInventory>(*devices_);
    OnDiskChanged();

    // The disks, and the rights check, on a worker: a slow disk never holds the window up.
    const std::shared_ptr<const DeviceMap> devices = devices_;
    const auto work = std::make_shared<DiskWork>();
    RunInBackground(
        Text(kListingText),
        [devices, work](const StopToken& stop) {
            work->rightsMissing = AdministratorRightsMissing(*devices);
            work->inventory = ListDisks(devices, stop);
        },
        [this, devices, work] {
            UseInventory(devices, work->inventory);
            disks_->SetDisks(inventory_->disks);
            if (disks_->count() > 0) disks_->setCurrentIndex(0);
            OnDiskChanged();
            if (work->rightsMissing) ShowMessage(this, Text(kAdministratorMessage));
        });
}

CPartitionPage::~CPartitionPage() {
    StopBackground();
}

void CPartitionPage::UseInventory(const std::shared_ptr<const DeviceMap>& devices,
                                  std::shared_ptr<CDiskInventory> inventory) {
    if (!inventory) return;  // the step failed before it listed anything
    inventory_ = std::move(inventory);
    devices_ = devices;
}

void CPartitionPage::BusyChanged(bool busy) {
    // The disk work needs the disk it started on: nothing else may start meanwhile. A listing may be left
    // (it stops); a write may not, or its summary would never be seen.
    for (QWidget* control : std::initializer_list<QWidget*>{disks_, candidates_, backups_, undo_, backup_, recovery_})
        control->setEnabled(!busy);
    for (QWidget* control : std::initializer_list<QWidget*>{back_, homeButton()})
        control->setEnabled(!(busy && writing_));
}

const DiskInfo* CPartitionPage::selectedDisk() const {
    const int index = disks_->currentIndex() < 0 ? -1 : disks_->currentData().toInt();
    if (index < 0 || index >= inventory_->diskCount()) return nullptr;
    return &inventory_->GetDisk(index);
}

std::vector<PartitionInfo> CPartitionPage::RecordsOfSelectedDisk() const {
    const DiskInfo* disk = selectedDisk();
    return disk ? RecordsOf(*inventory_, disk->diskNumber) : std::vector<PartitionInfo>{};
}

void CPartitionPage::OnDiskChanged() {
    chart_->SetDisk(selectedDisk(), RecordsOfSelectedDisk());
    FillBackupList();
    ClearCandidates();
}

void CPartitionPage::ClearCandidates() {
    candidateRecords_.clear();
    candidates_->clear();
    chart_->SetCandidate(std::nullopt);
}

void CPartitionPage::ShowCandidates(PartitionList list) {
    ClearCandidates();
    candidateRecords_ = std::move(list);
    for (std::size_t i = 0; i < candidateRecords_.size(); ++i)
        candidates_->AddCandidate(candidateRecords_[i], static_cast<int>(i));
}

void CPartitionPage::OnCandidateChanged() {
    const QList<QListWidgetItem*> selected = candidates_->selectedItems();
    if (selected.isEmpty()) {
        chart_->SetCandidate(std::nullopt);
        return;
    }
    const int index = selected.front()->data(Qt::UserRole).toInt();
    if (index >= 0 && static_cast<std::size_t>(index) < candidateRecords_.size()) {
        chart_->SetCandidate(candidateRecords_[static_cast<std::size_t>(index)]);
    }
}

void CPartitionPage::FillBackupList() {
    backups_->clear();
    auto addRow = [this](BackupRowKind kind, const QString& first, const QString& second, const QIcon& icon) {
        auto* item = new QTreeWidgetItem(backups_, {first, second});
        item->setData(0, kRowKindRole, kind);
        item->setIcon(0, icon);
        item->setToolTip(1, second);
        return item;
    };
    addRow(kAutoScanRow, Text(kAutoScanText), QStringLiteral("(If you haven't any backup file)"),
           skin::PictureIcon(QStringLiteral("mode-partition")));
    addRow(kDeepScanRow, Text(kDeepScanText), QStringLiteral("(Looks inside every unallocated gap)"),
           skin::PictureIcon(QStringLiteral("mode-raw")));
    if (const DiskInfo* disk = selectedDisk()) {
        for (const BackupListing& backup : ListBackups(*disk)) {
            const QString path = QString::fromStdString(backup.path.string());
            auto* item = addRow(kBackupFileRow, QString::fromStdString(backup.createdText), path,
                                style()->standardIcon(QStyle::SP_FileIcon));
            item->setData(0, kRowPathRole, path);
        }
    }
    addRow(kAddBackupRow, Text(kAddBackupText), QStringLiteral("(If you have backup files)"),
           style()->standardIcon(QStyle::SP_DialogOpenButton));
    FitDateColumn();
}

void CPartitionPage::FitDateColumn() {
    backups_->resizeColumnToContents(0);
    backups_->setColumnWidth(0, backups_->columnWidth(0) + kFitSlack);
    FitPathColumn();
}

void CPartitionPage::FitPathColumn() {
    backups_->setColumnWidth(1, std::max(backups_->header()->minimumSectionSize(),
                                         backups_->viewport()->width() - backups_->columnWidth(0)));
}

bool CPartitionPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == backups_->viewport() && event->type() == QEvent::Resize) FitPathColumn();
    return CPage::eventFilter(watched, event);
}

void CPartitionPage::AddBackupFile(const QString& path) {
    // Just before the last row, which is always "Add backup file...".
    auto* item = new QTreeWidgetItem({QString::fromStdString(CreatedText(path.toStdString())), path});
    item->setData(0, kRowKindRole, kBackupFileRow);
    item->setData(0, kRowPathRole, path);
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    item->setToolTip(1, path);
    backups_->insertTopLevelItem(std::max(0, backups_->topLevelItemCount() - 1), item);
    FitDateColumn();
}

void CPartitionPage::OnBackupRowActivated(QTreeWidgetItem* item) {
    if (!item || busy()) return;
    switch (item->data(0, kRowKindRole).toInt()) {
        case kAutoScanRow:
            AutoScan();
            break;
        case kDeepScanRow:
            DeepScan();
            break;
        case kBackupFileRow:
            LoadBackupFile(item->data(0, kRowPathRole).toString());
            break;
        case kAddBackupRow: {
            const QString path =
                ChooseOpenFile(this, QStringLiteral("Add Backup File"),
                               QString::fromStdString(UserBackupFolder().string()), kBackupFilter);
            if (!path.isEmpty()) AddBackupFile(path);
            break;
        }
        default:
            break;
    }
}

bool CPartitionPage::AutoScan() {
    if (busy()) return false;
    const DiskInfo* disk = selectedDisk();
    if (!disk) return true;
    const int number = disk->diskNumber;
    PartitionList found;
    Result<void> outcome;
    CProgressDlg dialog(app().recoverySettings().Progress, this);
    dialog.SetTitle(QStringLiteral("Searching the gaps for lost partitions ..."));
    RunWithProgress(dialog, stop_, [&](JobContext&) {
        outcome = lumacore::AutoScan(*inventory_, *devices_, number, found);
    });
    // What was found before a failed read still shows, as the search leaves it.
    ShowCandidates(std::move(found));
    if (!outcome) {
        ShowMessage(this, Text(kBackupLoadFailed));
        return false;
    }
    return true;
}

bool CPartitionPage::DeepScan() {
    if (busy()) return false;
    const DiskInfo* disk = selectedDisk();
    if (!disk) return true;
    const int number = disk->diskNumber;
    std::optional<Result<PartitionList>> outcome;
    CProgressDlg dialog(app().recoverySettings().Progress, this);
    dialog.SetTitle(QStringLiteral("Looking inside every gap for lost partitions ..."));
    const bool completed = RunWithProgress(dialog, stop_, [&](JobContext& job) {
        outcome.emplace(lumacore::DeepScan(*inventory_, *devices_, number, job.progress(), stop_));
    });
    if (!outcome || !*outcome) {
        if (completed) ShowMessage(this, Text(kBackupLoadFailed));
        return false;
    }
    ShowCandidates(std::move(outcome->value()));
    return completed;
}

bool CPartitionPage::LoadBackupFile(const QString& path) {
    const DiskInfo* disk = selectedDisk();
    if (!disk || busy()) return false;
    const DiskInfo chosen = *disk;
    const std::filesystem::path file = path.toStdString();
    const auto work = std::make_shared<DiskWork>();
    RunInBackground(
        QStringLiteral("Loading the backup file ..."),
        [chosen, file, work](const StopToken&) { work->loaded.emplace(LoadBackup(file, chosen)); },
        [this, work] {
            if (!work->loaded || !*work->loaded) {
                // The candidates stay as they were.
                ShowMessage(this, Text(kBackupLoadFailed));
                return;
            }
            ShowCandidates(std::move(**work->loaded));
        });
    return true;
}

bool CPartitionPage::BackupTo(const QString& path) {
    if (busy()) return false;
    const DiskInfo* disk = selectedDisk();
    if (!disk) {
        RunSummary summary;
        summary.action = QStringLiteral("Backup");
        summary.caption = QStringLiteral("Error");
        summary.headline = Text(kBackupFailed);
        summary.reason = QStringLiteral("No disk is chosen.");
        ShowSummary(summary);
        return false;
    }
    const DiskInfo chosen = *disk;
    const std::filesystem::path file = path.toStdString();
    const std::shared_ptr<const DeviceMap> devices = devices_;
    const std::shared_ptr<const CDiskInventory> inventory = inventory_;
    const auto work = std::make_shared<DiskWork>();
    writing_ = true;
    RunInBackground(
        QStringLiteral("Writing the backup ..."),
        [chosen, file, devices, inventory, work](const StopToken&) {
            // The save dialog has asked about an existing file.
            work->backup.emplace(WriteBackup(file, chosen, inventory->volumes,
                                             OutputGuard::ForDisk(*devices, chosen.diskNumber), true));
            for (const PartitionInfo& record : inventory->volumes)
                work->backupRecords += record.diskNumber == chosen.diskNumber;
            std::error_code error;
            if (*work->backup) work->backupBytes = std::filesystem::file_size(file, error);
        },
        [this, chosen, file, work] {
            writing_ = false;
            RunSummary summary;
            summary.action = QStringLiteral("Backup");
            if (work->backup && *work->backup) {
                summary.caption = QStringLiteral("Success");
                summary.headline = Text(kBackupDone);
                summary.written = 1;
                summary.bytes = work->backupBytes;
                summary.folder = PathText(file.parent_path());
                summary.details << QStringLiteral("Backup file: %1").arg(PathText(file))
                                << QStringLiteral("Records: %1 of %2").arg(work->backupRecords).arg(DiskText(chosen));
            } else {
                summary.caption = QStringLiteral("Error");
                summary.headline = Text(kBackupFailed);
                const QString why = work->backup ? WithoutHeadline(work->backup->error().message, kBackupFailed)
                                                 : QStringLiteral("the backup stopped with an error");
                summary.reason = QStringLiteral("%1 could not be written: %2").arg(PathText(file), why);
            }
            FillBackupList();
            ShowSummary(summary);
        });
    return true;
}

void CPartitionPage::OnBackup() {
    const DiskInfo* disk = selectedDisk();
    if (!disk) return;
    if (Ask(this, QMessageBox::Question, QStringLiteral("Confirm"), Text(kBackupConfirm),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    // Named after the disk's model, in the folder the list shows, so that the new backup is listed.
    QString model = QString::fromStdString(disk->Model());
    model.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString suggested =
        QString::fromStdString(UserBackupFolder().string()) + QLatin1Char('/') + model + QLatin1Char('-') +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".pbf");
    const QString chosen = ChooseSaveFile(this, QStringLiteral("Save Partition Backup"), suggested,
                                          kBackupFilter, QStringLiteral("pbf"));
    if (!chosen.isEmpty()) BackupTo(chosen);
}

void CPartitionPage::OnRecovery() {
    if (busy()) return;
    if (Ask(this, QMessageBox::Warning, QStringLiteral("Warning"), Text(kRestoreWarning),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    const DiskInfo* disk = selectedDisk();
    const QList<QListWidgetItem*> selected = candidates_->selectedItems();
    const int index = selected.isEmpty() ? -1 : selected.front()->data(Qt::UserRole).toInt();
    if (!disk || index < 0 || static_cast<std::size_t>(index) >= candidateRecords_.size()) {
        DiskWork refused;
        refused.plan = RefusedPlan(disk ? kRestoreNoCandidate : kRestoreNoDisk);
        FinishRestore(disk ? *disk : DiskInfo{}, refused);
        return;
    }
    const DiskInfo chosen = *disk;
    const PartitionInfo candidate = candidateRecords_[static_cast<std::size_t>(index)];
    const std::shared_ptr<const DeviceMap> devices = devices_;
    const std::shared_ptr<const CDiskInventory> inventory = inventory_;
    const auto work = std::make_shared<DiskWork>();
    writing_ = true;
    RunInBackground(
        QStringLiteral("Restoring the partition ..."),
        [chosen, candidate, devices, inventory, work](const StopToken& stop) {
            // Planned, with every read it needs, before anything is written.
            work->plan = PlanRestore(*inventory, *devices, chosen.diskNumber, candidate);
            if (work->plan.result != kRestoreDone) return;
            work->undoFile = NewUndoFilePath(chosen);
            if (auto applied = ApplyRestore(*devices, chosen.diskNumber, chosen, work->plan, work->undoFile);
                !applied) {
                work->error = applied.error().message;
                // Past a saved undo file only the sector writes can fail, and some may have gone through.
                std::error_code error;
                work->maybePartial = std::filesystem::exists(work->undoFile, error) &&
                                     work->error.rfind("cannot write the undo file", 0) != 0;
                return;
            }
            work->applied = true;
            work->refresh = RefreshPartitionTable(*devices, chosen.diskNumber);
            // The records and the chart as the table is now.
            work->inventory = ListDisks(devices, stop);
        },
        [this, chosen, devices, work] {
            writing_ = false;
            if (work->applied) {
                lastUndo_ = work->undoFile;
                ShowDisksAgain(devices, work->inventory);
            }
            FinishRestore(chosen, *work);
        });
}

void CPartitionPage::FinishRestore(const DiskInfo& disk, const DiskWork& work) {
    RunSummary summary = SectorSummary(QStringLiteral("Restore"));
    if (!work.applied) {
        const int result = work.plan.result != kRestoreDone ? work.plan.result : int{kRestoreCannotAccess};
        summary.caption = QStringLiteral("Error");
        summary.headline = Text(RestoreMessage(result));
        if (work.error.empty()) {
            summary.reason = QStringLiteral("The restore was refused before anything was written: the disk is as it was.");
        } else {
            summary.reason = QString::fromStdString(work.error) + QLatin1Char('.');
            summary.partial = work.maybePartial;
            if (work.maybePartial)
                summary.details << QStringLiteral("Undo file: %1 (\"Undo Restore...\" puts back what was written)")
                                       .arg(PathText(work.undoFile));
        }
        ShowSummary(summary);
        return;
    }
    const bool restart = work.refresh.kind == TableRefresh::kRestartNeeded;
    summary.caption = QString::fromLatin1(kSuccessCaption);
    // The system keeps the old table of a disk in use until it restarts: the message asks about it.
    summary.headline = restart ? Text(kRestoreSuccess)
                               : QStringLiteral("The partition has been recovered successfully. ") +
                                     QString::fromStdString(work.refresh.message);
    summary.written = work.plan.writes.size();
    summary.bytes = summary.written * 512;
    summary.details << QStringLiteral("Disk: %1").arg(DiskText(disk));
    for (const SectorWrite& write : work.plan.writes)
        summary.details << QStringLiteral("Sector %1: %2").arg(write.sector).arg(QString::fromStdString(write.what));
    for (const std::string& entry : work.plan.entries)
        summary.details << QStringLiteral("Table entry: %1").arg(QString::fromStdString(entry));
    summary.details << QStringLiteral("Undo file: %1 (\"Undo Restore...\" puts the changed sectors back)")
                           .arg(PathText(work.undoFile));
    if (restart) {
        if (ShowSummary(summary, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) RequestSystemRestart();
    } else {
        ShowSummary(summary);
    }
}

QMessageBox::StandardButton CPartitionPage::ShowSummary(const RunSummary& summary,
                                                        QMessageBox::StandardButtons buttons) {
    lastSummary_ = summary;
    if (buttons == QMessageBox::Ok) {
        ShowRunSummary(this, summary);
        return QMessageBox::Ok;
    }
    return AskRunSummary(this, summary, buttons);
}

void CPartitionPage::ShowDisksAgain(const std::shared_ptr<const DeviceMap>& devices,
                                    std::shared_ptr<CDiskInventory> inventory) {
    // The candidates stay; the disk's records and the chart show the table as it is now.
    const int diskIndex = disks_->currentIndex();
    UseInventory(devices, std::move(inventory));
    disks_->SetDisks(inventory_->disks);
    disks_->setCurrentIndex(std::min(diskIndex, disks_->count() - 1));
    chart_->SetDisk(selectedDisk(), RecordsOfSelectedDisk());
    OnCandidateChanged();
}

void CPartitionPage::OnUndo() {
    if (busy()) return;
    const DiskInfo* disk = selectedDisk();
    if (!disk) {
        RunSummary summary = SectorSummary(QStringLiteral("Undo"));
        summary.headline = Text(RestoreMessage(kRestoreNoDisk));
        summary.reason = QStringLiteral("No disk is chosen.");
        ShowSummary(summary);
        return;
    }
    // The newest restore whose sectors still hold what it wrote: an older one would undo over a newer.
    const DiskInfo chosen = *disk;
    const std::shared_ptr<const DeviceMap> devices = devices_;
    const auto work = std::make_shared<DiskWork>();
    RunInBackground(
        QStringLiteral("Looking for the last restore ..."),
        [chosen, devices, work](const StopToken& stop) {
            for (const std::filesystem::path& candidate : ListUndoFiles(chosen)) {
                if (stop.StopRequested()) return;
                if (auto checked = CheckUndo(*devices, chosen.diskNumber, chosen, candidate)) {
                    work->undoFound = candidate;
                    work->undoSectors = *checked;
                    return;
                }
            }
        },
        [this, chosen, devices, work] { AskUndo(chosen, devices, work); });
}

void CPartitionPage::AskUndo(const DiskInfo& disk, const std::shared_ptr<const DeviceMap>& devices,
                             const std::shared_ptr<DiskWork>& work) {
    if (work->undoFound.empty()) {
        RunSummary summary = SectorSummary(QStringLiteral("Undo"));
        summary.caption = QStringLiteral("Nothing to undo");
        summary.headline = Text(kNoUndoMessage);
        summary.reason = QStringLiteral("No undo file of this disk in %1 matches what is on the disk now.")
                             .arg(PathText(UserBackupFolder()));
        ShowSummary(summary);
        return;
    }
    const QString question =
        QStringLiteral(
            "Undo the partition restore saved in\n%1?\n\nThe %2 sectors it wrote are put back "
            "as they were before it.")
            .arg(PathText(work->undoFound))
            .arg(work->undoSectors);
    if (Ask(this, QMessageBox::Warning, QStringLiteral("Warning"), question,
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    writing_ = true;
    RunInBackground(
        QStringLiteral("Undoing the restore ..."),
        [disk, devices, work](const StopToken& stop) {
            work->undone.emplace(UndoRestore(*devices, disk.diskNumber, disk, work->undoFound, false));
            if (!*work->undone) return;
            work->refresh = RefreshPartitionTable(*devices, disk.diskNumber);
            work->inventory = ListDisks(devices, stop);
        },
        [this, disk, devices, work] {
            writing_ = false;
            RunSummary summary = SectorSummary(QStringLiteral("Undo"));
            const QString file = PathText(work->undoFound);
            if (!work->undone || !*work->undone) {
                summary.headline = work->undone ? QString::fromStdString(work->undone->error().message)
                                                : QStringLiteral("The undo stopped with an error.");
                // What was checked a moment ago no longer holds, or a write failed on the way.
                summary.reason = QStringLiteral("The undo file is kept: %1").arg(file);
                summary.partial = true;
                ShowSummary(summary);
                return;
            }
            ShowDisksAgain(devices, work->inventory);
            summary.headline = Text(kUndoneMessage) + QLatin1Char(' ') + QString::fromStdString(work->refresh.message);
            summary.written = **work->undone;
            summary.bytes = summary.written * 512;
            summary.details << QStringLiteral("Disk: %1").arg(DiskText(disk))
                            << QStringLiteral("Put back from: %1").arg(file);
            ShowSummary(summary);
        });
}

}  // namespace lumacore::ui
