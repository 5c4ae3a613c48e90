#include "gui/result_placeholder_page.h"

#include <QPainter>

#include "core/recovery_settings.h"
#include "core/scan_mode.h"
#include "disk/drive_tree_text.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"

namespace lumacore::ui {

namespace {

QString PictureOfMode(int mode) {
    switch (mode) {
        case SCAN_PARTITION: return QStringLiteral("mode-partition");
        case SCAN_FORMATTED: return QStringLiteral("mode-formatted");
        case SCAN_RAW: return QStringLiteral("mode-raw");
        default: return QStringLiteral("mode-deleted");
    }
}

}  // namespace

CResultPlaceholderPage::CResultPlaceholderPage(ResultPageKind kind, const PageContext& context, QWidget* parent)
    : CPage(context, parent), kind_(kind) {
    setObjectName(QStringLiteral("ResultPlaceholderPage"));
    SetHeading(ModeTitle(mode()), kind == ResultPageKind::Partition ? QStringLiteral("Search a disk for lost partitions")
                                                                    : QStringLiteral("Scan results"));
    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    connect(back_, &QAbstractButton::clicked, this, [this] {
        // The partition page is opened straight from the home page; the others come from the drive page.
        if (kind_ == ResultPageKind::Partition) {
            host().PostNavigate(PAGE_HOME, 0);
        } else {
            host().PostNavigate(PAGE_DRIVE, mode());
        }
    });
}

QString CResultPlaceholderPage::pageName() const {
    const QString name = ResultPageClassName(kind_);
    if (kind_ == ResultPageKind::Fat16) return name + QStringLiteral(", FAT16 variant");
    if (kind_ == ResultPageKind::Fat32) return name + QStringLiteral(", FAT32 variant");
    return name;
}

void CResultPlaceholderPage::paintEvent(QPaintEvent* event) {
    CPage::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF card(20, 84, 745, 288);
    skin::PaintCard(p, card, 10);
    p.drawPixmap(QPointF(card.left() + 36, card.top() + 56),
                 skin::Picture(PictureOfMode(mode()), QSize(128, 128), devicePixelRatioF()));

    const qreal x = card.left() + 200;
    qreal y = card.top() + 46;
    p.setPen(skin::colour::kText);
    p.setFont(skin::Font(15, QFont::Bold));
    p.drawText(QPointF(x, y), QStringLiteral("Next step: %1").arg(pageName()));
    y += 34;

    const RecoverySettings& settings = app().recoverySettings();
    p.setFont(skin::Font(13));
    const auto row = [&](const QString& label, const QString& value) {
        p.setPen(skin::colour::kTextMuted);
        p.drawText(QPointF(x, y), label);
        p.setPen(skin::colour::kText);
        p.drawText(QPointF(x + 120, y), value);
        y += 24;
    };
    if (kind_ == ResultPageKind::Partition) {
        row(QStringLiteral("Mode"), ModeTitle(mode()));
        row(QStringLiteral("Disks"), QStringLiteral("chosen on the partition page"));
    } else {
        const PartitionInfo& chosen = settings.SelectedPartition;
        row(QStringLiteral("Partition"), QString::fromStdString(VolumeItemText(chosen)));
        row(QStringLiteral("File system"), QString::fromStdString(chosen.FsName()));
        row(QStringLiteral("Sectors"), QStringLiteral("%1 to %2").arg(settings.ScanStartSector).arg(settings.ScanEndSector));
        row(QStringLiteral("Volume root"), QString::fromStdString(settings.VolumeRoot));
    }
    y += 14;
    p.setPen(skin::colour::kTextMuted);
    p.setFont(skin::Font(12));
    p.drawText(QRectF(x, y, card.right() - x - 24, 60), Qt::TextWordWrap,
               kind_ == ResultPageKind::Partition
                   ? QStringLiteral("The lost-partition search is not part of this build yet. Go back to choose "
                                    "another mode.")
                   : QStringLiteral("Result browsing is not part of this build yet. Go back to choose another "
                                    "partition or mode."));
}

}  // namespace lumacore::ui
