#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lumacore {

// The picture format an image type code stands for ("JPEG", "Sun raster", ...); "" for 0 and unknown
// codes.
std::string_view ImageFormatName(int typeCode);

struct ImageDimensions {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The pixel size a picture's header claims, without decoding it: for BMP, GIF, JPEG (its first frame
// header), PNG, TGA, PNM, Sun raster and the JPEG 2000 codestream. Nothing when the header is not
// that format's or the format keeps its size elsewhere. The claim is not checked against the data.
std::optional<ImageDimensions> ImageDimensionsFromHeader(std::span<const std::byte> data, int typeCode);

}  // namespace lumacore
