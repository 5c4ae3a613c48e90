#include "ui/pages/partition_page.h"

#include <QDateTime>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

#include "core/recovery_settings.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "partition/table_refresh.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/dialogs/progress_dlg.h"
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

}  // namespace

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
    // Dates and paths are shown whole; the list scrolls sideways when they do not fit.
    backups_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    backups_->header()->setStretchLastSection(false);
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

    RefreshInventory();
    disks_->SetDisks(inventory_->disks);
    if (disks_->count() > 0) disks_->setCurrentIndex(0);
    OnDiskChanged();
    QTimer::singleShot(0, this, &CPartitionPage::RunPrivilegeProbe);
}

CPartitionPage::~CPartitionPage() = default;

void CPartitionPage::RunPrivilegeProbe() {
    if (AdministratorRightsMissing(*devices_)) ShowMessage(this, Text(kAdministratorMessage));
}

void CPartitionPage::RefreshInventory() {
    devices_ = app().devices();
    inventory_ = std::make_unique<CDiskInventory>(*devices_);
    inventory_->Refresh();
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
}

void CPartitionPage::AddBackupFile(const QString& path) {
    // Just before the last row, which is always "Add backup file...".
    auto* item = new QTreeWidgetItem({QString::fromStdString(CreatedText(path.toStdString())), path});
    item->setData(0, kRowKindRole, kBackupFileRow);
    item->setData(0, kRowPathRole, path);
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    item->setToolTip(1, path);
    backups_->insertTopLevelItem(std::max(0, backups_->topLevelItemCount() - 1), item);
}

void CPartitionPage::OnBackupRowActivated(QTreeWidgetItem* item) {
    if (!item) return;
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
    if (!disk) return false;
    auto loaded = LoadBackup(path.toStdString(), *disk);
    if (!loaded) {
        // The candidates stay as they were.
        ShowMessage(this, Text(kBackupLoadFailed));
        return false;
    }
    ShowCandidates(std::move(*loaded));
    return true;
}

bool CPartitionPage::BackupTo(const QString& path) {
    const DiskInfo* disk = selectedDisk();
    // The save dialog has asked about an existing file.
    const bool written = disk && WriteBackup(path.toStdString(), *disk, inventory_->volumes,
                                             OutputGuard::ForDisk(*devices_, disk->diskNumber), true);
    if (written) {
        ShowMessage(this, QMessageBox::Information, QStringLiteral("Success"), Text(kBackupDone));
    } else {
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"), Text(kBackupFailed));
    }
    FillBackupList();
    return written;
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

int CPartitionPage::RestorePartition() {
    const DiskInfo* disk = selectedDisk();
    if (!disk) return kRestoreNoDisk;
    const QList<QListWidgetItem*> selected = candidates_->selectedItems();
    const int index = selected.isEmpty() ? -1 : selected.front()->data(Qt::UserRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= candidateRecords_.size()) return kRestoreNoCandidate;
    const RestorePlan plan = PlanRestore(*inventory_, *devices_, disk->diskNumber,
                                         candidateRecords_[static_cast<std::size_t>(index)]);
    if (plan.result != kRestoreDone) return plan.result;
    const std::filesystem::path undo = NewUndoFilePath(*disk);
    if (!ApplyRestore(*devices_, disk->diskNumber, *disk, plan, undo)) return kRestoreCannotAccess;
    lastUndo_ = undo;
    return kRestoreDone;
}

void CPartitionPage::OnRecovery() {
    if (Ask(this, QMessageBox::Warning, QStringLiteral("Warning"), Text(kRestoreWarning),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    const int result = RestorePartition();
    if (result != kRestoreDone) {
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"), Text(RestoreMessage(result)));
        return;
    }
    AfterRestore();
}

void CPartitionPage::AfterRestore() {
    const DiskInfo* disk = selectedDisk();
    const TableRefresh refresh = RefreshPartitionTable(*devices_, disk ? disk->diskNumber : -1);
    const QString undoHint =
        QStringLiteral("\n\n\"Undo Restore...\" puts the changed sectors back (kept in %1).")
            .arg(QString::fromStdString(lastUndo_.string()));
    if (refresh.kind == TableRefresh::kRestartNeeded) {
        // The system keeps the old table of a disk in use until it restarts.
        if (Ask(this, QMessageBox::Information, Text(kSuccessCaption), Text(kRestoreSuccess),
                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
            RequestSystemRestart();
        }
    } else {
        ShowMessage(this, QMessageBox::Information, Text(kSuccessCaption),
                    QStringLiteral("The partition has been recovered successfully. ") +
                        QString::fromStdString(refresh.message) + undoHint);
    }
    ReloadDisks();
}

void CPartitionPage::ReloadDisks() {
    // The candidates stay; the disk's records and the chart show the table as it is now.
    const int diskIndex = disks_->currentIndex();
    RefreshInventory();
    disks_->SetDisks(inventory_->disks);
    disks_->setCurrentIndex(std::min(diskIndex, disks_->count() - 1));
    chart_->SetDisk(selectedDisk(), RecordsOfSelectedDisk());
    OnCandidateChanged();
}

void CPartitionPage::OnUndo() {
    const DiskInfo* disk = selectedDisk();
    if (!disk) {
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"),
                    Text(RestoreMessage(kRestoreNoDisk)));
        return;
    }
    // The newest restore whose sectors still hold what it wrote: an older one would undo over a newer.
    std::filesystem::path file;
    std::size_t sectors = 0;
    for (const std::filesystem::path& candidate : ListUndoFiles(*disk)) {
        if (auto checked = CheckUndo(*devices_, disk->diskNumber, *disk, candidate)) {
            file = candidate;
            sectors = *checked;
            break;
        }
    }
    if (file.empty()) {
        ShowMessage(this, QMessageBox::Information, QString::fromLatin1(kApplicationName),
                    Text(kNoUndoMessage));
        return;
    }
    const QString question =
        QStringLiteral(
            "Undo the partition restore saved in\n%1?\n\nThe %2 sectors it wrote are put back "
            "as they were before it.")
            .arg(QString::fromStdString(file.string()))
            .arg(sectors);
    if (Ask(this, QMessageBox::Warning, QStringLiteral("Warning"), question,
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    const int number = disk->diskNumber;
    if (auto undone = UndoRestore(*devices_, number, *disk, file, false); !undone) {
        ShowMessage(this, QMessageBox::Critical, QStringLiteral("Error"),
                    QString::fromStdString(undone.error().message));
        return;
    }
    const TableRefresh refresh = RefreshPartitionTable(*devices_, number);
    ShowMessage(this, QMessageBox::Information, QString::fromLatin1(kApplicationName),
                Text(kUndoneMessage) + QLatin1Char(' ') + QString::fromStdString(refresh.message));
    ReloadDisks();
}

}  // namespace lumacore::ui
