#pragma once

#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/partition_info.h"
#include "core/progress.h"
#include "disk/disk_inventory.h"
#include "ui/dialogs/summary_dlg.h"
#include "ui/pages/page.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace lumacore::ui {

class CCandidateList;
class CDiskListBox;
class CPartitionChart;

// The lost-partition page: the disk list, the chart of the chosen disk, the candidates that Auto Scan,
// Deep Scan or a backup file offer, and the restore of one of them into the master boot record or the
// extended chain. Every restore is planned before anything is written and keeps an undo file, which
// "Undo Restore..." puts back. "Backup" saves the disk's records into a ".pbf" file.
class CPartitionPage final : public CPage {
    Q_OBJECT
  public:
    QString helpSection() const override { return QStringLiteral("partitions"); }
    // Rows of the backup list besides the backup files.
    enum BackupRowKind : int { kAutoScanRow = 0, kDeepScanRow = 1, kBackupFileRow = 2, kAddBackupRow = 3 };
    static constexpr int kRowKindRole = Qt::UserRole;
    static constexpr int kRowPathRole = Qt::UserRole + 1;

    static constexpr const char* kAutoScanText = "  Auto Scan ...    ";
    static constexpr const char* kDeepScanText = "  Deep Scan ...    ";
    static constexpr const char* kAddBackupText = "  Add backup file...";
    static constexpr const char* kNoUndoMessage = "There is no partition restore to undo on this disk.";
    static constexpr const char* kUndoneMessage = "The partition restore has been undone.";
    static constexpr const char* kSuccessCaption = "Recovery Success!";
    // Shown over the page while the disks are listed.
    static constexpr const char* kListingText = "Reading the disks ...";

    CPartitionPage(const PageContext& context, QWidget* parent);
    ~CPartitionPage() override;

    CDiskListBox* diskList() const { return disks_; }
    CPartitionChart* chart() const { return chart_; }
    CCandidateList* candidateList() const { return candidates_; }
    QTreeWidget* backupList() const { return backups_; }
    CSkinButton* backButton() const { return back_; }
    CSkinButton* undoButton() const { return undo_; }
    CSkinButton* backupButton() const { return backup_; }
    CSkinButton* recoveryButton() const { return recovery_; }
    CSkinButton* nextButton() const { return next_; }
    const PartitionList& candidates() const { return candidateRecords_; }
    const CDiskInventory& inventory() const { return *inventory_; }
    // The disk chosen in the disk list; null when there is none.
    const DiskInfo* selectedDisk() const;
    // The last undo file a restore from this page wrote.
    const std::filesystem::path& lastUndoFile() const { return lastUndo_; }
    // The summary the last backup, restore or undo ended with.
    const RunSummary& lastSummary() const { return lastSummary_; }

    // The operations behind the controls, callable without their dialogs (the tests drive them). The
    // disk list, loading a backup file, a backup, a restore and an undo run on a worker thread while the
    // page shows that it is busy (busy(), idle() when done); the searches run behind the progress
    // dialog. None starts while the page is busy. A backup, a restore and an undo end with a run
    // summary: their message as its headline, what was written where, or why nothing was.
    bool AutoScan();
    bool DeepScan();
    // Starts loading; false when there is no disk or the page is busy. A file that does not load is
    // told, and the candidates stay.
    bool LoadBackupFile(const QString& path);
    void AddBackupFile(const QString& path);
    void FillBackupList();
    // Starts writing the backup (the save dialog has asked about an existing file); false when it
    // could not start.
    bool BackupTo(const QString& path);
    // The whole "Recovery" button: confirmation, then the restore of the chosen candidate on a worker
    // (planned before anything is written, with an undo file), its summary, and the disk read again.
    void OnRecovery();
    void OnBackup();
    void OnUndo();
    void OnBackupRowActivated(QTreeWidgetItem* item);

  protected:
    void BusyChanged(bool busy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct DiskWork;
    void UseInventory(const std::shared_ptr<const DeviceMap>& devices, std::shared_ptr<CDiskInventory> inventory);
    void ShowDisksAgain(const std::shared_ptr<const DeviceMap>& devices, std::shared_ptr<CDiskInventory> inventory);
    void FinishRestore(const DiskInfo& disk, const DiskWork& work);
    QMessageBox::StandardButton ShowSummary(const RunSummary& summary,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    void AskUndo(const DiskInfo& disk, const std::shared_ptr<const DeviceMap>& devices,
                 const std::shared_ptr<DiskWork>& work);
    void OnDiskChanged();
    void FitDateColumn();
    void FitPathColumn();
    void OnCandidateChanged();
    void ClearCandidates();
    void ShowCandidates(PartitionList list);
    std::vector<PartitionInfo> RecordsOfSelectedDisk() const;

    // Shared with the workers that read them, so that a page that goes away never pulls them from
    // under a worker.
    std::shared_ptr<const DeviceMap> devices_;
    std::shared_ptr<CDiskInventory> inventory_;
    PartitionList candidateRecords_;
    std::filesystem::path lastUndo_;
    RunSummary lastSummary_;
    StopToken stop_;
    bool writing_ = false;  // a backup, restore or undo is running: the page may not be left
    CDiskListBox* disks_ = nullptr;
    CPartitionChart* chart_ = nullptr;
    CCandidateList* candidates_ = nullptr;
    QTreeWidget* backups_ = nullptr;
    CSkinButton* back_ = nullptr;
    CSkinButton* undo_ = nullptr;
    CSkinButton* backup_ = nullptr;
    CSkinButton* recovery_ = nullptr;
    CSkinButton* next_ = nullptr;
};

}  // namespace lumacore::ui
