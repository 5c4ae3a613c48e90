#pragma once

#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/partition_info.h"
#include "core/progress.h"
#include "disk/disk_inventory.h"
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

    // The operations behind the controls, callable without their dialogs (the tests drive them).
    bool AutoScan();
    bool DeepScan();
    bool LoadBackupFile(const QString& path);
    void AddBackupFile(const QString& path);
    void FillBackupList();
    bool BackupTo(const QString& path);
    // The restore itself, after the confirmation: a result code (kRestoreDone and the others).
    int RestorePartition();
    // The whole "Recovery" button: confirmation, restore, messages, and what follows a restore.
    void OnRecovery();
    void OnBackup();
    void OnUndo();
    void OnBackupRowActivated(QTreeWidgetItem* item);

  private:
    void RefreshInventory();
    void ReloadDisks();
    void OnDiskChanged();
    void OnCandidateChanged();
    void ClearCandidates();
    void ShowCandidates(PartitionList list);
    void RunPrivilegeProbe();
    void AfterRestore();
    std::vector<PartitionInfo> RecordsOfSelectedDisk() const;

    std::shared_ptr<const DeviceMap> devices_;
    std::unique_ptr<CDiskInventory> inventory_;
    PartitionList candidateRecords_;
    std::filesystem::path lastUndo_;
    StopToken stop_;
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
