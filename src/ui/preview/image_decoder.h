#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
#include <span>

namespace lumacore::ui {

// Decodes a found file's data as the picture kind `typeCode` (ImageTypeFromName) names. Never throws and
// never trusts the data: a null image when it does not decode. With a valid `fitInto` the picture is
// decoded scaled down to fit inside it, keeping its proportions (thumbnails), which is also fast for
// large JPEGs.
QImage DecodeImage(std::span<const std::byte> data, int typeCode, QSize fitInto = QSize());

}  // namespace lumacore::ui
