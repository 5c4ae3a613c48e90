#include "ui/preview/image_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "ui/preview/jpeg2000_decoder.h"
#include "ui/preview/magick_decoder.h"

namespace lumacore::ui {

namespace {

// Qt's reader format for a type code; empty when no Qt reader handles the kind.
QByteArray ReaderFormat(int typeCode) {
    switch (typeCode) {
        case 1:
            return "bmp";
        case 2:
            return "gif";
        case 3:
            return "jpeg";
        case 4:
            return "png";
        case 5:
            return "ico";
        case 6:
            return "tiff";
        case 9:
            return "wbmp";
        case 14:
            return "pnm";
        default:
            return {};
    }
}

bool TooManyPixels(QSize size) {
    return qint64{size.width()} * qint64{size.height()} > kMaxDecodedPixels;
}

QImage DecodeWithQt(std::span<const std::byte> data, const QByteArray& format, QSize fitInto) {
    // Readers whose header gives no size up front are held by Qt's allocation limit instead (in MB).
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(static_cast<int>(kMaxDecodedPixels * 4 / (1024 * 1024)) + 1);
        return true;
    }();
    (void)limitSet;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (size.isValid() && TooManyPixels(size)) return {};
    if (fitInto.isValid() && size.isValid() &&
        (size.width() > fitInto.width() || size.height() > fitInto.height())) {
        reader.setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image)) return {};
    if (fitInto.isValid() && (image.width() > fitInto.width() || image.height() > fitInto.height())) {
        image = image.scaled(fitInto, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

}  // namespace

QImage DecodeImage(std::span<const std::byte> data, int typeCode, QSize fitInto) {
    if (data.empty()) return {};
    if (typeCode == 11 || typeCode == 12) return DecodeJpeg2000(data, fitInto, kMaxDecodedPixels);
    if (typeCode == 7) return DecodeWithImageMagick(data, "TGA", fitInto, kMaxDecodedPixels);
    if (typeCode == 8) return DecodeWithImageMagick(data, "PCX", fitInto, kMaxDecodedPixels);
    if (typeCode == 13) return DecodeWithImageMagick(data, "PGX", fitInto, kMaxDecodedPixels);
    if (typeCode == 15) return DecodeWithImageMagick(data, "SUN", fitInto, kMaxDecodedPixels);
    const QByteArray format = ReaderFormat(typeCode);
    if (format.isEmpty()) return {};
    QImage image = DecodeWithQt(data, format, fitInto);
    // A ".wbmp" name matches the BMP code by its last three characters; WBMP data has no "BM" but starts
    // with its type 0 and a zero header byte, so such a file is still shown as what it is.
    if (image.isNull() && typeCode == 1 && data.size() > 2 && data[0] == std::byte{0} &&
        data[1] == std::byte{0}) {
        image = DecodeWithQt(data, ReaderFormat(9), fitInto);
    }
    return image;
}

}  // namespace lumacore::ui
