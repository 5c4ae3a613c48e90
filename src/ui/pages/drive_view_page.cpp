#include "ui/pages/drive_view_page.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>

#include "core/recovery_settings.h"
#include "core/scan_mode.h"
#include "disk/drive_tree_text.h"
#include "disk/whole_disk_record.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/dialogs/filter_dlg.h"
#include "ui/pages/result_page_factory.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/card.h"
#include "ui/widgets/drive_info_panel.h"

namespace lumacore::ui {

namespace {

// The card behind the tree and the panel beside it.
const QRect kTreeCard(20, 84, 376, 288);
const QRect kPanelRect(406, 84, 359, 288);

QString ModeSubtitle(int mode) {
    switch (mode) {
        case SCAN_FORMATTED:
            return QStringLiteral("Formatted Drive Recovery  \u2022  choose the formatted partition");
        case SCAN_RAW:
            return QStringLiteral("RAW Signature Search  \u2022  choose a partition, gap or table entry");
        default:
            return QStringLiteral("Deleted File Recovery  \u2022  choose the partition the files were on");
    }
}

}  // namespace

CDriveViewPage::CDriveViewPage(const PageContext& context, QWidget* parent) : CPage(context, parent) {
    setObjectName(QStringLiteral("DriveViewPage"));
    setAcceptDrops(true);
    SetHeading(QStringLiteral("Select a Drive"), ModeSubtitle(mode()));

    // A new round of choices starts with no filter but today's date.
    FilterSettings& filter = app().recoverySettings().Filter;
    const std::uint32_t date = filter.date;
    filter = FilterSettings{};
    filter.date = date;

    auto* card = new CCard(kTreeCard, this);
    tree_ = new QTreeWidget(card);
    tree_->setObjectName(QStringLiteral("DriveTree"));
    tree_->setGeometry(QRect(QPoint(0, 0), kTreeCard.size()).adjusted(8, 8, -8, -8));
    card->Anchor(tree_, Follow::Width | Follow::Height);
    Anchor(card, Follow::HalfWidth | Follow::Height);
    // Long volume names scroll sideways rather than being cut.
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setIndentation(18);
    tree_->setIconSize(QSize(16, 16));
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setAnimated(true);
    tree_->setFrameShape(QFrame::NoFrame);
    tree_->setAcceptDrops(false);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &CDriveViewPage::OnSelectionChanged);

    panel_ = new CDriveInfoPanel(this);
    panel_->setGeometry(kPanelRect);
    Anchor(panel_, Follow::HalfRight | Follow::HalfWidth | Follow::Height);

    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    addImage_ =
        AddCommandButton(QStringLiteral("Add Image..."), QStringLiteral("add"), QRect(128, 386, 140, 36));
    addImage_->setToolTip(
        QStringLiteral("Attach a disk image file and list it as a disk (you can also drop "
                       "image files on this page)"));
    option_ = AddCommandButton(QStringLiteral("Option"), QStringLiteral("option"), QRect(549, 386, 104, 36));
    next_ = AddCommandButton(QStringLiteral("Next"), QStringLiteral("next"), QRect(661, 386, 104, 36), true);
    option_->setEnabled(false);
    next_->setEnabled(false);

    connect(back_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(PAGE_HOME, 0); });
    connect(addImage_, &QAbstractButton::clicked, this, &CDriveViewPage::OnAddImage);
    connect(option_, &QAbstractButton::clicked, this, &CDriveViewPage::OnOption);
    connect(next_, &QAbstractButton::clicked, this, [this] { host().PostNavigate(PAGE_RESULT, mode()); });

    SetBusyArea(card);
    devices_ = app().devices();
    inventory_ = std::make_unique<CDiskInventory>(*devices_);
    BuildTree();
}

CDriveViewPage::~CDriveViewPage() {
    StopBackground();
    // The items point into the inventory: clear them first.
    tree_->clear();
}

void CDriveViewPage::BuildTree() {
    // A listing under way is replaced by this one: its result would be out of date.
    StopBackground();
    {
        const QSignalBlocker blocker(tree_);
        tree_->clear();
        selectedDisk_ = nullptr;
        selectedPartition_ = nullptr;
        auto* root = new QTreeWidgetItem(tree_, QStringList(QString::fromLatin1(kMyComputerText)));
        root->setData(0, kKindRole, kRootItem);
        root->setIcon(0, skin::PictureIcon(QStringLiteral("tree-computer")));
        tree_->setCurrentItem(root);
    }
    OnSelectionChanged();

    // Probing the devices may take long (a slow or sleeping disk): it runs on a worker, with the rights
    // check of the first listing, while the window stays responsive.
    struct Listing {
        std::unique_ptr<CDiskInventory> inventory;
        bool rightsMissing = false;
    };
    const std::shared_ptr<const DeviceMap> devices = app().devices();
    const auto listing = std::make_shared<Listing>();
    const bool probe = !rightsProbed_;
    RunInBackground(
        QString::fromLatin1(kListingText),
        [devices, listing, probe](const StopToken& stop) {
            if (probe) listing->rightsMissing = AdministratorRightsMissing(*devices);
            auto inventory = std::make_unique<CDiskInventory>(*devices);
            inventory->Refresh(&stop);
            listing->inventory = std::move(inventory);
        },
        [this, devices, listing, probe] {
            // The new inventory keeps the device map it was made from alive through devices_.
            tree_->clear();
            inventory_ = listing->inventory ? std::move(listing->inventory)
                                            : std::make_unique<CDiskInventory>(*devices);
            devices_ = devices;
            FillTree();
            if (probe) {
                rightsProbed_ = true;
                if (listing->rightsMissing) ShowMessage(this, QString::fromLatin1(kAdministratorMessage));
            }
        });
}

void CDriveViewPage::FillTree() {
    QSignalBlocker blocker(tree_);
    tree_->clear();
    selectedDisk_ = nullptr;
    selectedPartition_ = nullptr;
    wholeDisks_.clear();
    wholeDisks_.reserve(static_cast<std::size_t>(inventory_->diskCount()));

    auto* root = new QTreeWidgetItem(tree_, QStringList(QString::fromLatin1(kMyComputerText)));
    root->setData(0, kKindRole, kRootItem);
    root->setIcon(0, skin::PictureIcon(QStringLiteral("tree-computer")));
    // The partition chosen last time (Back from a result page comes here): chosen again.
    const PartitionInfo& previous = app().recoverySettings().SelectedPartition;
    QTreeWidgetItem* again = nullptr;
    for (int d = 0; d < inventory_->diskCount(); ++d) {
        const DiskInfo& disk = inventory_->GetDisk(d);
        auto* diskItem = new QTreeWidgetItem(root, QStringList(QString::fromStdString(DiskItemText(disk))));
        diskItem->setData(0, kKindRole, kDiskItem);
        diskItem->setData(0, kIndexRole, d);
        diskItem->setIcon(0, skin::PictureIcon(disk.removable ? QStringLiteral("tree-removable")
                                                              : QStringLiteral("tree-disk")));
        if (mode() == SCAN_RAW) {
            wholeDisks_.push_back(WholeDiskRecord(disk.diskNumber, disk.sizeBytes));
            auto* item = new QTreeWidgetItem(
                diskItem, QStringList(QString::fromStdString(WholeDiskItemText(wholeDisks_.back()))));
            item->setData(0, kKindRole, kWholeDiskItem);
            item->setData(0, kIndexRole, static_cast<int>(wholeDisks_.size() - 1));
            item->setIcon(0, skin::PictureIcon(QStringLiteral("tree-disk")));
        }
        for (int v = 0; v < inventory_->volumeCount(); ++v) {
            const PartitionInfo& volume = inventory_->GetVolume(v);
            if (volume.diskNumber != disk.diskNumber || !ModeAdmits(mode(), volume.FsName())) continue;
            auto* item =
                new QTreeWidgetItem(diskItem, QStringList(QString::fromStdString(VolumeItemText(volume))));
            item->setData(0, kKindRole, kPartitionItem);
            item->setData(0, kIndexRole, v);
            item->setIcon(0, skin::PictureIcon(QStringLiteral("tree-partition")));
            if (!again && volume.totalBytes != 0 && volume.diskNumber == previous.diskNumber &&
                volume.startSector == previous.startSector && volume.totalBytes == previous.totalBytes &&
                volume.FsName() == previous.FsName()) {
                again = item;
            }
        }
    }
    if (root->childCount() > 0) {
        root->setExpanded(true);
        for (int i = 0; i < root->childCount(); ++i) root->child(i)->setExpanded(true);
        tree_->setCurrentItem(again ? again : root);
    } else {
        // An empty tree says nothing; say where the disks come from.
        auto* hint = new QTreeWidgetItem(root, QStringList(QString::fromLatin1(kNoDiskHint)));
        hint->setData(0, kKindRole, kHintItem);
        hint->setFlags(Qt::ItemIsEnabled);
        hint->setForeground(0, skin::colour::kTextMuted);
        root->setExpanded(true);
        tree_->setCurrentItem(root);
    }
    blocker.unblock();
    OnSelectionChanged();
}

std::vector<PartitionInfo> CDriveViewPage::ListedPartitions(const QTreeWidgetItem* diskItem) const {
    std::vector<PartitionInfo> listed;
    for (int i = 0; i < diskItem->childCount(); ++i) {
        if (diskItem->child(i)->data(0, kKindRole).toInt() != kPartitionItem) continue;
        listed.push_back(inventory_->GetVolume(diskItem->child(i)->data(0, kIndexRole).toInt()));
    }
    return listed;
}

void CDriveViewPage::OnSelectionChanged() {
    selectedDisk_ = nullptr;
    selectedPartition_ = nullptr;
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    const QTreeWidgetItem* item = selected.isEmpty() ? nullptr : selected.front();
    const int kind = item ? item->data(0, kKindRole).toInt() : kRootItem;
    if (item && (kind == kPartitionItem || kind == kWholeDiskItem)) {
        const int index = item->data(0, kIndexRole).toInt();
        selectedPartition_ = kind == kWholeDiskItem ? &wholeDisks_.at(static_cast<std::size_t>(index))
                                                    : &inventory_->GetVolume(index);
        app().recoverySettings().SelectPartition(*selectedPartition_);
        panel_->ShowPartition(*selectedPartition_);
    } else if (item && kind == kDiskItem) {
        selectedDisk_ = &inventory_->GetDisk(item->data(0, kIndexRole).toInt());
        panel_->ShowDisk(*selectedDisk_, ListedPartitions(item));
    } else {
        panel_->ShowNothing();
    }
    next_->setEnabled(selectedPartition_ != nullptr);
    option_->setEnabled(selectedPartition_ != nullptr);
}

void CDriveViewPage::OnOption() {
    if (!selectedPartition_) return;
    if (mode() == SCAN_RAW) {
        app().resultPages().RunRawOptions(this, app().recoverySettings(), app().rawSignatures());
    } else {
        CFilterDlg::EditBeforeScan(this, app().recoverySettings());
    }
}

bool CDriveViewPage::AttachImage(const QString& path) {
    QString error;
    if (!app().AttachImage(path, &error)) {
        ShowMessage(this, QStringLiteral("The disk image could not be attached:\n%1").arg(error));
        return false;
    }
    BuildTree();
    return true;
}

void CDriveViewPage::OnAddImage() {
    const QString path = ChooseOpenFile(
        this, QStringLiteral("Attach a Disk Image"), QString(),
        QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.ima *.vfd *.E01 *.e01 *.001);;All files (*)"));
    if (!path.isEmpty()) AttachImage(path);
}

void CDriveViewPage::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) return;
    }
    event->acceptProposedAction();
}

void CDriveViewPage::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!AttachImage(url.toLocalFile())) break;
    }
    event->acceptProposedAction();
}

}  // namespace lumacore::ui
