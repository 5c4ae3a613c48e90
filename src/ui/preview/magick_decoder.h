#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <span>

namespace lumacore::ui {

// The legacy picture kinds no Qt reader handles: PCX, PGX (JPEG 2000's uncompressed test format) and Sun
// raster, decoded with ImageMagick under a security policy of our own that allows reading these three
// coders and nothing else (no other coder, no delegate program, no indirect file reads), one thread, and
// bounded memory and time. The picture's size is read from its header first and refused above
// `maxPixels`. `coder` is "PCX", "PGX" or "SUN"; anything else gives a null image.
QImage DecodeWithImageMagick(std::span<const std::byte> data, const char* coder, QSize fitInto, qint64 maxPixels);

}  // namespace lumacore::ui
