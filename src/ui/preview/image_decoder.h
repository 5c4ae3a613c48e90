#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <span>

namespace lumacore::ui {

// The most pixels a picture may have to be decoded (100 megapixels, 400 MB as 32-bit pixels): a
// header can claim any size, and a found file is whatever the disk holds.
inline constexpr qint64 kMaxDecodedPixels = 100'000'000;

// Decodes a found file's data as the picture kind `typeCode` (ImageTypeFromName) names. Never throws and
// never trusts the data: a null image when it does not decode, when its header claims more than
// kMaxDecodedPixels, or for WMF/EMF (no decoder here reads them: they fall back to the dump). BMP, GIF,
// JPEG, PNG, ICO, TIFF, WBMP and PNM go through Qt's image readers, the JPEG 2000 kinds through OpenJPEG,
// TGA, PCX, PGX and Sun raster through ImageMagick under a restrictive policy. With a valid `fitInto` the
// picture comes back scaled down to fit inside it, keeping its proportions (thumbnails); JPEG and JPEG 2000
// then decode at a reduced size.
QImage DecodeImage(std::span<const std::byte> data, int typeCode, QSize fitInto = QSize());

}  // namespace lumacore::ui
