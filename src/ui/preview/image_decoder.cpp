#include "ui/preview/image_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace lumacore::ui {

namespace {

// Qt's reader format for a type code; empty lets the reader guess from the data.
QByteArray ReaderFormat(int typeCode) {
    switch (typeCode) {
    case 1: return "bmp";
    case 2: return "gif";
    case 3: return "jpeg";
    case 4: return "png";
    case 5: return "ico";
    case 6: return "tiff";
    case 7: return "tga";
    case 9: return "wbmp";
    case 14: return "pnm";
    default: return {};
    }
}

}  // namespace

QImage DecodeImage(std::span<const std::byte> data, int typeCode, QSize fitInto) {
    if (data.empty() || typeCode == 0) return {};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, ReaderFormat(typeCode));
    const QSize size = reader.size();
    if (fitInto.isValid() && size.isValid() && (size.width() > fitInto.width() || size.height() > fitInto.height())) {
        reader.setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatio));
    }
    QImage image;
    if (!reader.read(&image)) return {};
    return image;
}

}  // namespace lumacore::ui
