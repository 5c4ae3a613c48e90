#include "preview/image_header.h"

#include <array>
#include <cstdlib>
#include <string>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

// Indexed by type code.
// clang-format off
constexpr std::array<std::string_view, 16> kFormatNames{
    "", "BMP", "GIF", "JPEG", "PNG", "ICO", "TIFF", "TGA", "PCX", "WBMP", "WMF/EMF", "JPEG 2000",
    "JPEG 2000 codestream", "PGX", "PNM", "Sun raster"};
// clang-format on

// JPEG markers that start a frame (SOF0..SOF15 without DHT, JPG and DAC).
bool IsFrameMarker(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<ImageDimensions> JpegDimensions(const ByteReader& r) {
    if (r.u8(0) != 0xFF || r.u8(1) != 0xD8) return std::nullopt;
    std::size_t at = 2;
    // Segments are walked by their lengths; each step moves forward, so the walk ends.
    while (r.has(at, 4)) {
        if (r.u8(at) != 0xFF) return std::nullopt;
        const std::uint8_t marker = r.u8(at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;
        const std::uint16_t length = r.u16be(at + 2);
        if (length < 2) return std::nullopt;
        if (IsFrameMarker(marker)) {
            if (!r.has(at + 4, 5)) return std::nullopt;
            return ImageDimensions{r.u16be(at + 7), r.u16be(at + 5)};
        }
        at += 2 + std::size_t{length};
    }
    return std::nullopt;
}

// The first three whitespace-separated numbers after a PNM magic, comments skipped.
std::optional<ImageDimensions> PnmDimensions(const ByteReader& r) {
    if (r.u8(0) != 'P' || r.u8(1) < '1' || r.u8(1) > '6') return std::nullopt;
    std::uint32_t numbers[2] = {};
    std::size_t at = 2;
    for (std::uint32_t& number : numbers) {
        while (r.has(at, 1)) {
            const char c = static_cast<char>(r.u8(at));
            if (c == '#') {
                while (r.has(at, 1) && r.u8(at) != '\n') ++at;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at;
            } else {
                break;
            }
        }
        std::string digits;
        while (r.has(at, 1) && r.u8(at) >= '0' && r.u8(at) <= '9' && digits.size() < 9)
            digits += static_cast<char>(r.u8(at++));
        if (digits.empty()) return std::nullopt;
        number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    }
    return ImageDimensions{numbers[0], numbers[1]};
}

std::optional<ImageDimensions> Checked(const ByteReader& r, ImageDimensions d) {
    if (!r.ok()) return std::nullopt;
    return d;
}

}  // namespace

std::string_view ImageFormatName(int typeCode) {
    if (typeCode < 0 || static_cast<std::size_t>(typeCode) >= kFormatNames.size()) return {};
    return kFormatNames[static_cast<std::size_t>(typeCode)];
}

std::optional<ImageDimensions> ImageDimensionsFromHeader(std::span<const std::byte> data, int typeCode) {
    const ByteReader r(data);
    switch (typeCode) {
        case 1:
            if (!r.matches(0, "BM")) return std::nullopt;
            // Height is negative for top-down bitmaps.
            return Checked(r, {r.u32le(18), static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(
                                                static_cast<std::int32_t>(r.u32le(22)))))});
        case 2:
            if (!r.matches(0, "GIF8")) return std::nullopt;
            return Checked(r, {r.u16le(6), r.u16le(8)});
        case 3:
            return JpegDimensions(r);
        case 4:
            if (!r.matches(1, "PNG") || !r.matches(12, "IHDR")) return std::nullopt;
            return Checked(r, {r.u32be(16), r.u32be(20)});
        case 7:
            return Checked(r, {r.u16le(12), r.u16le(14)});
        case 11:
        case 12: {
            // A raw codestream (SOC then SIZ); the JP2 box form keeps the same SIZ inside its codestream box.
            std::size_t at = 0;
            if (!(r.u8(0) == 0xFF && r.u8(1) == 0x4F)) {
                if (!r.matches(4, "jP  ")) return std::nullopt;
                at = std::string_view::npos;
                for (std::size_t i = 12; r.has(i, 4) && i < 4096; ++i) {
                    if (r.u8(i) == 0xFF && r.u8(i + 1) == 0x4F && r.u8(i + 2) == 0xFF &&
                        r.u8(i + 3) == 0x51) {
                        at = i;
                        break;
                    }
                }
                if (at == std::string_view::npos) return std::nullopt;
            }
            if (r.u8(at + 2) != 0xFF || r.u8(at + 3) != 0x51) return std::nullopt;
            const std::uint32_t x1 = r.u32be(at + 8), y1 = r.u32be(at + 12), x0 = r.u32be(at + 16),
                                y0 = r.u32be(at + 20);
            if (x0 > x1 || y0 > y1) return std::nullopt;
            return Checked(r, {x1 - x0, y1 - y0});
        }
        case 14:
            return PnmDimensions(r);
        case 15:
            if (r.u32be(0) != 0x59A66A95) return std::nullopt;
            return Checked(r, {r.u32be(4), r.u32be(8)});
        default:
            return std::nullopt;
    }
}

}  // namespace lumacore
