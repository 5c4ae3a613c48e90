#include "ui/widgets/drive_info_panel.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "core/size_text.h"
#include "disk/drive_tree_text.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

namespace {

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr int kChartTop = 96;
constexpr int kChartDiameter = 140;
constexpr int kMaxLegendLines = 7;

}  // namespace

QColor PartitionColour(std::string_view fsName) {
    if (fsName == "FAT12") return QColor(255, 255, 0);
    if (fsName == "FAT16" || fsName == "FAT") return QColor(0, 255, 0);
    if (fsName == "FAT32") return QColor(0, 0, 255);
    if (fsName == "NTFS") return QColor(255, 0, 255);
    if (fsName == "EXT2") return QColor(0, 255, 255);
    if (fsName == "EXT3" || fsName == "EXT4") return QColor(120, 120, 0);
    return QColor(190, 190, 190);
}

QStringList DiskPanelTexts(const DiskInfo& disk, int listedPartitions) {
    QStringList texts;
    texts << QStringLiteral("Model : %1").arg(Text(disk.Model()));
    texts << QStringLiteral("Drive Size : %1").arg(Text(SizeText(disk.sizeBytes)));
    texts << (listedPartitions > 0 ? QStringLiteral("Count of partitions : %1").arg(listedPartitions)
                                   : QStringLiteral("This device is not accessible"));
    return texts;
}

QStringList PartitionPanelTexts(const PartitionInfo& partition) {
    // Sector numbers are unsigned 32-bit: printed as such, a start past 2^31 would show as negative.
    // The partition walk keeps an EXT volume's block size and blocks per group in the two geometry
    // fields: they are named for what they hold.
    const std::string fs = partition.FsName();
    const bool ext = fs == "EXT2" || fs == "EXT3" || fs == "EXT4";
    return {
        QStringLiteral("Volume : %1").arg(Text(partition.VolumeLabel())),
        QStringLiteral("Start Sector : %1").arg(partition.startSector),
        ext ? QStringLiteral("Blocks / Group : %1").arg(partition.sectorsPerCluster)
            : QStringLiteral("Sectors / Cluster : %1").arg(partition.sectorsPerCluster),
        ext ? QStringLiteral("Block Size : %1").arg(partition.bytesPerSector)
            : QStringLiteral("Byte/Sector : %1").arg(partition.bytesPerSector),
        QStringLiteral("Free Size : %1").arg(Text(SizeText(partition.freeBytes))),
        QStringLiteral("Total Size : %1").arg(Text(SizeText(partition.totalBytes))),
    };
}

std::vector<PieSlice> DiskPieSlices(const DiskInfo& disk, const std::vector<PartitionInfo>& listed) {
    std::vector<PieSlice> slices;
    if (disk.sizeBytes == 0) return slices;
    double used = 0;
    for (const PartitionInfo& p : listed) {
        // A table entry can claim more than the disk holds; the chart never draws more than the whole.
        const double share =
            std::min(static_cast<double>(p.totalBytes) / static_cast<double>(disk.sizeBytes), 1.0 - used);
        if (share <= 0) break;
        used += share;
        slices.push_back({share, PartitionColour(p.FsName()), Text(VolumeItemText(p))});
    }
    return slices;
}

std::vector<PieSlice> PartitionPieSlices(const PartitionInfo& partition) {
    if (partition.totalBytes == 0) return {};
    const std::uint64_t freeBytes = std::min(partition.freeBytes, partition.totalBytes);
    const double freeShare = static_cast<double>(freeBytes) / static_cast<double>(partition.totalBytes);
    return {
        {1.0 - freeShare, PartitionColour(partition.FsName()),
         QStringLiteral("Used space  %1").arg(Text(SizeText(partition.totalBytes - freeBytes)))},
        {freeShare, QColor(Qt::white), QStringLiteral("Free space  %1").arg(Text(SizeText(freeBytes)))},
    };
}

CDriveInfoPanel::CDriveInfoPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("InfoPanel"));
}

void CDriveInfoPanel::ShowNothing() {
    showing_ = Showing::Nothing;
    texts_.clear();
    slices_.clear();
    update();
}

void CDriveInfoPanel::ShowDisk(const DiskInfo& disk, const std::vector<PartitionInfo>& listed) {
    showing_ = Showing::Disk;
    texts_ = DiskPanelTexts(disk, static_cast<int>(listed.size()));
    slices_ = DiskPieSlices(disk, listed);
    accent_ = skin::colour::kAccent;
    update();
}

void CDriveInfoPanel::ShowPartition(const PartitionInfo& partition) {
    showing_ = Showing::Partition;
    texts_ = PartitionPanelTexts(partition);
    slices_ = PartitionPieSlices(partition);
    accent_ = PartitionColour(partition.FsName());
    update();
}

void CDriveInfoPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card = QRectF(rect()).adjusted(1, 1, -1, -1);
    skin::PaintCard(p, card, 8);
    if (showing_ == Showing::Nothing) {
        p.setPen(skin::colour::kTextMuted);
        p.setFont(skin::Font(12));
        p.drawText(card.adjusted(30, 0, -30, 0), Qt::AlignCenter | Qt::TextWordWrap,
                   QStringLiteral("Select a disk or a partition to see its details."));
        return;
    }

    // The selection's colour runs down the card's left edge.
    QPainterPath edge;
    edge.addRoundedRect(QRectF(card.left(), card.top(), 8, card.height()), 4, 4);
    p.save();
    p.setClipRect(QRectF(card.left(), card.top(), 4, card.height()));
    p.fillPath(edge, accent_);
    p.restore();

    p.setFont(skin::Font(12));
    const QFontMetrics metrics(p.font());
    for (int i = 0; i < texts_.size(); ++i) {
        const bool right = showing_ == Showing::Partition && i >= 3;
        const int x = right ? kRightColumn : kLeftColumn;
        const int y = kLines[right ? i - 3 : i];
        const QString& text = texts_[i];
        // Label in the muted colour, value in the text colour.
        const qsizetype colon = text.indexOf(QStringLiteral(" : "));
        const QString label = colon < 0 ? text : text.left(colon + 3);
        const QString value = colon < 0 ? QString() : text.mid(colon + 3);
        const int maxWidth = (showing_ == Showing::Partition && !right ? kRightColumn - 8 : width() - 12) - x;
        p.setPen(colon < 0 ? QColor(0xc0, 0x39, 0x2b) : skin::colour::kTextMuted);
        p.drawText(QPoint(x, y + metrics.ascent()), label);
        p.setPen(skin::colour::kText);
        const int labelWidth = metrics.horizontalAdvance(label);
        p.drawText(QPoint(x + labelWidth, y + metrics.ascent()),
                   metrics.elidedText(value, Qt::ElideRight, std::max(0, maxWidth - labelWidth)));
    }

    // Separator between the texts and the chart.
    p.fillRect(QRectF(kLeftColumn, kChartTop - 14, width() - 2 * kLeftColumn, 1), QColor(0xe3, 0xe8, 0xef));

    const QRectF pie(24, kChartTop + 18, kChartDiameter, kChartDiameter);
    // Shadow under the pie, then the empty disk, then the slices from twelve o'clock clockwise.
    QRadialGradient shadow(pie.center() + QPointF(0, 6), kChartDiameter / 2.0 + 8);
    shadow.setColorAt(0.85, QColor(20, 40, 80, 60));
    shadow.setColorAt(1, QColor(20, 40, 80, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(pie.adjusted(-8, -2, 8, 14));
    p.setBrush(QColor(0xee, 0xf1, 0xf5));
    p.setPen(QPen(QColor(0xcf, 0xd7, 0xe2), 1));
    p.drawEllipse(pie);
    double start = 90.0;
    for (const PieSlice& slice : slices_) {
        const double span = -slice.share * 360.0;
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(slice.colour);
        if (slice.share >= 0.9999) {
            p.drawEllipse(pie);
        } else if (slice.share > 0) {
            p.drawPie(pie, static_cast<int>(std::lround(start * 16)),
                      static_cast<int>(std::lround(span * 16)));
        }
        start += span;
    }
    // A glossy highlight gives the flat colours some depth.
    QRadialGradient gloss(pie.center() - QPointF(kChartDiameter / 5.0, kChartDiameter / 4.0),
                          kChartDiameter * 0.75);
    gloss.setColorAt(0, QColor(255, 255, 255, 110));
    gloss.setColorAt(0.6, QColor(255, 255, 255, 10));
    gloss.setColorAt(1, QColor(0, 0, 0, 30));
    p.setPen(QPen(QColor(0, 0, 0, 40), 1));
    p.setBrush(gloss);
    p.drawEllipse(pie);

    // Legend.
    p.setFont(skin::Font(11));
    const QFontMetrics legendMetrics(p.font());
    const qreal legendLeft = pie.right() + 20;
    qreal y = pie.top() + 6;
    int shown = 0;
    for (const PieSlice& slice : slices_) {
        if (shown == kMaxLegendLines) {
            p.setPen(skin::colour::kTextMuted);
            p.drawText(QPointF(legendLeft + 18, y + legendMetrics.ascent()),
                       QStringLiteral("and %1 more").arg(slices_.size() - kMaxLegendLines));
            break;
        }
        p.setPen(QPen(slice.colour.darker(130), 1));
        p.setBrush(slice.colour);
        p.drawRoundedRect(QRectF(legendLeft, y + 1, 11, 11), 2.5, 2.5);
        p.setPen(skin::colour::kText);
        p.drawText(QPointF(legendLeft + 18, y + legendMetrics.ascent()),
                   legendMetrics.elidedText(slice.legend, Qt::ElideRight,
                                            static_cast<int>(width() - legendLeft - 30)));
        y += 21;
        ++shown;
    }
    if (slices_.empty()) {
        p.setPen(skin::colour::kTextMuted);
        p.drawText(QRectF(legendLeft, pie.top(), width() - legendLeft - 16, pie.height()),
                   Qt::AlignVCenter | Qt::TextWordWrap,
                   QStringLiteral("No partition of this disk is listed for this mode."));
    }
}

}  // namespace lumacore::ui
