#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <span>

namespace lumacore::ui {

// Decodes a JPEG 2000 file (the JP2 box format or a bare codestream, told apart by their first bytes)
// with OpenJPEG. Grey, grey with alpha, RGB (sYCC converted) and RGBA pictures of any sample precision
// come back as 32-bit images. Refused (null) before decoding: more than `maxSamples` samples (pixels
// times components). With a valid `fitInto` a lower resolution level is decoded, as small as still
// covers it.
QImage DecodeJpeg2000(std::span<const std::byte> data, QSize fitInto, qint64 maxSamples);

}  // namespace lumacore::ui
