#pragma once

#include <QTreeWidget>
#include <memory>
#include <vector>

#include "core/disk_info.h"
#include "core/partition_info.h"
#include "disk/disk_inventory.h"
#include "ui/pages/page.h"

namespace lumacore::ui {

class CDriveInfoPanel;

// The drive page: the "My Computer" tree of disks and the partitions the chosen mode can read, the
// information panel of the selection, and the way on to the result page. Disk images can be attached
// here (button or file drop), since on Linux recovering from an image is the common case.
class CDriveViewPage final : public CPage {
    Q_OBJECT
  public:
    QString helpSection() const override { return QStringLiteral("drive"); }
    // Item roles in the tree.
    // A whole-disk item (RAW mode only) is chosen like a partition: sector 0 to the disk's end, whatever
    // its partition table says, since a lost table is when carving is needed.
    enum ItemKind : int {
        kRootItem = 0,
        kDiskItem = 1,
        kPartitionItem = 2,
        kWholeDiskItem = 3,
        kHintItem = 4
    };
    // Shown under the root when no disk could be listed.
    static constexpr const char* kNoDiskHint =
        "No disk found: press \"Add Image...\" to open a disk image file";
    // Shown over the tree while the disks are listed.
    static constexpr const char* kListingText = "Reading the disks ...";
    static constexpr int kKindRole = Qt::UserRole;
    // Index into the inventory's disk or volume table, or into the whole-disk records.
    static constexpr int kIndexRole = Qt::UserRole + 1;

    CDriveViewPage(const PageContext& context, QWidget* parent);
    ~CDriveViewPage() override;

    QTreeWidget* tree() const { return tree_; }
    CDriveInfoPanel* panel() const { return panel_; }
    CSkinButton* backButton() const { return back_; }
    CSkinButton* addImageButton() const { return addImage_; }
    CSkinButton* optionButton() const { return option_; }
    CSkinButton* nextButton() const { return next_; }

    // The selection: at most one is set.
    const DiskInfo* selectedDisk() const { return selectedDisk_; }
    const PartitionInfo* selectedPartition() const { return selectedPartition_; }

    // Lists the disks anew on a worker thread (the page is busy meanwhile) and then builds the tree; a
    // listing still under way is dropped.
    void BuildTree();
    // Attaches a disk image and lists the disks again; tells the user when it cannot be opened.
    bool AttachImage(const QString& path);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void OnSelectionChanged();
    void OnOption();
    void OnAddImage();
    void FillTree();
    std::vector<PartitionInfo> ListedPartitions(const QTreeWidgetItem* diskItem) const;

    std::shared_ptr<const DeviceMap> devices_;
    std::unique_ptr<CDiskInventory> inventory_;
    std::vector<PartitionInfo> wholeDisks_;
    QTreeWidget* tree_ = nullptr;
    CDriveInfoPanel* panel_ = nullptr;
    CSkinButton* back_ = nullptr;
    CSkinButton* addImage_ = nullptr;
    CSkinButton* option_ = nullptr;
    CSkinButton* next_ = nullptr;
    const DiskInfo* selectedDisk_ = nullptr;
    const PartitionInfo* selectedPartition_ = nullptr;
    bool rightsProbed_ = false;
};

}  // namespace lumacore::ui
