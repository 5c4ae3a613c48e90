#include "ui/results/file_type_catalog.h"

#include <QFileIconProvider>
#include <QPainter>

namespace lumacore::ui {

namespace {

QString ExtensionOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    return QString::fromUtf8(fileName.data() + dot + 1, static_cast<qsizetype>(fileName.size() - dot - 1))
        .toLower();
}

}  // namespace

const FileTypeCatalog::Entry& FileTypeCatalog::ForName(std::string_view fileName) {
    const QString extension = ExtensionOf(fileName);
    auto found = byExtension_.find(extension);
    if (found != byExtension_.end()) return *found;

    Entry entry;
    const QMimeType mime =
        extension.isEmpty()
            ? mimes_.mimeTypeForName(QStringLiteral("application/octet-stream"))
            : mimes_.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    if (mime.isValid() && !mime.isDefault()) {
        entry.typeName = mime.comment();
    } else {
        entry.typeName =
            extension.isEmpty() ? QStringLiteral("File") : extension.toUpper() + QStringLiteral(" File");
    }
    static const QFileIconProvider provider;
    const QIcon fallback = provider.icon(QAbstractFileIconProvider::File);
    entry.icon = mime.isValid()
                     ? QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback))
                     : fallback;
    if (entry.icon.isNull()) entry.icon = fallback;
    entry.iconCell = QPixmap::fromImage(ThumbnailCell(entry.icon.pixmap(48, 48).toImage()));
    return *byExtension_.insert(extension, entry);
}

QImage ThumbnailCell(const QImage& picture) {
    QImage cell(kThumbnailSize, kThumbnailSize, QImage::Format_RGB32);
    cell.fill(Qt::white);
    QPainter p(&cell);
    if (!picture.isNull()) {
        const QSize size = picture.size().boundedTo(QSize(kThumbnailSize, kThumbnailSize));
        const QSize fitted = picture.size().scaled(size, Qt::KeepAspectRatio);
        const QRect target(
            QPoint((kThumbnailSize - fitted.width()) / 2, (kThumbnailSize - fitted.height()) / 2), fitted);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, picture);
    }
    p.setPen(QColor(192, 192, 192));
    p.drawRect(0, 0, kThumbnailSize - 1, kThumbnailSize - 1);
    return cell;
}

}  // namespace lumacore::ui
