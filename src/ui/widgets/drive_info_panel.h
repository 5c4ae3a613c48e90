#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <string_view>
#include <vector>

#include "core/disk_info.h"
#include "core/partition_info.h"

namespace lumacore::ui {

// The colour of a file system in the panel and its charts.
QColor PartitionColour(std::string_view fsName);

// The panel's texts for a disk: model, size, and the number of partitions the tree lists under it (or
// that the device is not accessible when it lists none).
QStringList DiskPanelTexts(const DiskInfo& disk, int listedPartitions);
// The panel's texts for a partition: the left column then the right column.
QStringList PartitionPanelTexts(const PartitionInfo& partition);

// One slice of a pie chart: its share of the whole (0..1) and colour.
struct PieSlice {
    double share = 0;
    QColor colour;
    QString legend;
};

// The disk chart: one slice per listed partition, each its total size over the disk's size.
std::vector<PieSlice> DiskPieSlices(const DiskInfo& disk, const std::vector<PartitionInfo>& listed);
// The partition chart: used space in the partition's colour, then free space.
std::vector<PieSlice> PartitionPieSlices(const PartitionInfo& partition);

// The information panel of the drive page: texts in two columns and a pie chart for the disk or the
// partition selected in the tree; nothing but the card when the root is selected.
class CDriveInfoPanel : public QWidget {
    Q_OBJECT
public:
    explicit CDriveInfoPanel(QWidget* parent);

    void ShowNothing();
    void ShowDisk(const DiskInfo& disk, const std::vector<PartitionInfo>& listed);
    void ShowPartition(const PartitionInfo& partition);

    // The texts as drawn, left column first.
    const QStringList& texts() const { return texts_; }
    const std::vector<PieSlice>& slices() const { return slices_; }

    // Where the columns and lines of text start inside the panel.
    static constexpr int kLeftColumn = 12;
    static constexpr int kRightColumn = 160;
    static constexpr int kLines[3] = {15, 39, 62};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Showing { Nothing, Disk, Partition };
    Showing showing_ = Showing::Nothing;
    QStringList texts_;
    std::vector<PieSlice> slices_;
    QColor accent_;
};

}  // namespace lumacore::ui
