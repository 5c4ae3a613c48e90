// Fuzz target: the desktop program's picture decoders (Qt's readers, OpenJPEG and ImageMagick under our
// policy) on a found file's bytes. The first byte picks the type code and whether a thumbnail size is
// asked for; the rest is the file. A decoded picture must respect the pixel limit.
#include <QGuiApplication>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "ui/preview/image_decoder.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image plugins need an application object; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int typeCode = data[0] % 16;
    const QSize fitInto = (data[0] & 0x80) != 0 ? QSize(90, 90) : QSize();
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data + 1), size - 1);
    const QImage image = lumacore::ui::DecodeImage(file, typeCode, fitInto);
    if (!image.isNull() && qint64{image.width()} * image.height() > lumacore::ui::kMaxDecodedPixels) std::abort();
    if (!image.isNull() && fitInto.isValid() && (image.width() > 90 || image.height() > 90)) std::abort();
    return 0;
}
