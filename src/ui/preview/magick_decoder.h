#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <span>

namespace lumacore::ui {

// The legacy picture kinds Qt's readers do not handle: PCX, PGX (JPEG 2000's uncompressed test format),
// Sun raster, and TGA (Qt reads only uncompressed TGA 2.0 files with their footer; most TGA files are
// older or run-length coded), decoded with ImageMagick under a security policy of our own that allows
// reading these four coders and nothing else (no other coder, no delegate program, no indirect file reads),
// one thread, and bounded memory. The picture's size is read from its header first and refused above
// `maxPixels`. `coder` is "PCX", "PGX", "SUN" or "TGA"; anything else gives a null image.
QImage DecodeWithImageMagick(std::span<const std::byte> data, const char* coder, QSize fitInto,
                             qint64 maxPixels);

}  // namespace lumacore::ui
