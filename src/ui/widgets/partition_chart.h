#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "core/disk_info.h"
#include "core/partition_info.h"

namespace lumacore::ui {

// One record's place on the chart's bar, in the chart's pixels.
struct ChartSegment {
    double left = 0;
    double right = 0;
    QColor colour;
    QString label;  // "%c: %s"
};

// Where each record lies on a bar from `barLeft`, `barWidth` pixels wide: its start and size over the
// disk's size (in kilobytes, as doubles), one pixel short at the right. Records past the disk's end are
// kept inside the bar.
std::vector<ChartSegment> ChartSegments(const DiskInfo& disk, const std::vector<PartitionInfo>& records,
                                        double barLeft, double barWidth);

// The partition page's chart of a disk: a band with the disk's volumes, gaps and table entries, each a
// strip in its file system's colour over a box naming it, and a second band with the candidate chosen
// in the candidate list, drawn the same way.
class CPartitionChart : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kBarMargin = 8;
    static constexpr int kStripHeight = 10;

    explicit CPartitionChart(QWidget* parent);

    void SetDisk(const DiskInfo* disk, std::vector<PartitionInfo> volumes);
    void SetCandidate(std::optional<PartitionInfo> candidate);

    const std::vector<ChartSegment>& volumeSegments() const { return volumeSegments_; }
    const std::vector<ChartSegment>& candidateSegments() const { return candidateSegments_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Recompute();

    std::optional<DiskInfo> disk_;
    std::vector<PartitionInfo> volumes_;
    std::optional<PartitionInfo> candidate_;
    std::vector<ChartSegment> volumeSegments_;
    std::vector<ChartSegment> candidateSegments_;
};

}  // namespace lumacore::ui
