#include "ui/widgets/partition_chart.h"

#include <QPainter>
#include <algorithm>

#include "ui/skin/skin.h"
#include "ui/widgets/drive_info_panel.h"

namespace lumacore::ui {

namespace {

constexpr int kBandTop[2] = {22, 66};
constexpr int kLabelHeight = 16;

double Kilobytes(std::uint64_t bytes) {
    return static_cast<double>(bytes % 1024) / 1024 + static_cast<double>(bytes / 1024);
}

}  // namespace

std::vector<ChartSegment> ChartSegments(const DiskInfo& disk, const std::vector<PartitionInfo>& records,
                                        double barLeft, double barWidth) {
    std::vector<ChartSegment> segments;
    const double diskKb = Kilobytes(disk.sizeBytes);
    if (diskKb <= 0 || barWidth <= 0) return segments;
    for (const PartitionInfo& record : records) {
        const double start = Kilobytes(std::uint64_t{record.startSector} * 512) / diskKb;
        const double width = Kilobytes(record.totalBytes) / diskKb;
        const double left = std::clamp(barLeft + barWidth * start, barLeft, barLeft + barWidth);
        const double right = std::clamp(left + barWidth * width - 1, left, barLeft + barWidth);
        segments.push_back({left, right, PartitionColour(record.FsName()),
                            QStringLiteral("%1: %2")
                                .arg(QLatin1Char(record.driveLetter))
                                .arg(QString::fromStdString(record.FsName()))});
    }
    return segments;
}

CPartitionChart::CPartitionChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PartitionChart"));
}

void CPartitionChart::SetDisk(const DiskInfo* disk, std::vector<PartitionInfo> volumes) {
    disk_ = disk ? std::optional<DiskInfo>(*disk) : std::nullopt;
    volumes_ = std::move(volumes);
    candidate_.reset();
    Recompute();
}

void CPartitionChart::SetCandidate(std::optional<PartitionInfo> candidate) {
    candidate_ = std::move(candidate);
    Recompute();
}

void CPartitionChart::resizeEvent(QResizeEvent*) {
    Recompute();
}

void CPartitionChart::Recompute() {
    volumeSegments_.clear();
    candidateSegments_.clear();
    if (disk_) {
        const double barWidth = width() - 2 * kBarMargin;
        volumeSegments_ = ChartSegments(*disk_, volumes_, kBarMargin, barWidth);
        if (candidate_) candidateSegments_ = ChartSegments(*disk_, {*candidate_}, kBarMargin, barWidth);
    }
    update();
}

void CPartitionChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    skin::PaintCard(p, QRectF(rect()).adjusted(1, 1, -1, -1), 8);
    p.setFont(skin::Font(11, QFont::DemiBold));
    p.setPen(skin::colour::kTextMuted);
    p.drawText(QPointF(kBarMargin + 2, kBandTop[0] - 6), QStringLiteral("Partitions on the disk"));
    p.drawText(QPointF(kBarMargin + 2, kBandTop[1] - 6), candidate_
                                                             ? QStringLiteral("Selected candidate")
                                                             : QStringLiteral("Selected candidate (none)"));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(skin::Font(10));
    const std::vector<ChartSegment>* bands[2] = {&volumeSegments_, &candidateSegments_};
    for (int band = 0; band < 2; ++band) {
        const int top = kBandTop[band];
        // The whole disk as a faint track, so that unclaimed space shows as such.
        p.fillRect(QRectF(kBarMargin, top, width() - 2 * kBarMargin, kStripHeight), QColor(0xe6, 0xeb, 0xf1));
        for (const ChartSegment& segment : *bands[band]) {
            const QRectF strip(segment.left, top, std::max(1.0, segment.right - segment.left), kStripHeight);
            p.fillRect(strip, segment.colour);
            const QRectF box(segment.left, top + kStripHeight, std::max(1.0, segment.right - segment.left),
                             kLabelHeight);
            p.fillRect(box, Qt::white);
            p.setPen(skin::colour::kCardBorder);
            p.drawRect(box.adjusted(0, 0, -1, -1));
            p.setPen(skin::colour::kText);
            p.drawText(
                box.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                p.fontMetrics().elidedText(segment.label, Qt::ElideRight, static_cast<int>(box.width()) - 5));
        }
    }
}

}  // namespace lumacore::ui
