// Windows bitmaps and icons: the file header (BMP) or the image directory (ICO/CUR) fixes the length.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParseBmp(CarveInput& in) {
    if (!in.Equals(0, "BM")) return FormatVerdict::Reject();
    const auto fileSize = in.U32le(2);
    const auto pixelsAt = in.U32le(10);
    const auto headerSize = in.U32le(14);
    if (!fileSize || !pixelsAt || !headerSize) return FormatVerdict::Unknown();
    if (*headerSize != 12 && *headerSize != 40 && *headerSize != 52 && *headerSize != 56 &&
        *headerSize != 64 && *headerSize != 108 && *headerSize != 124) {
        return FormatVerdict::Reject();
    }
    if (*pixelsAt < 14 + *headerSize || *fileSize <= *pixelsAt) return FormatVerdict::Reject();
    if (*headerSize >= 40) {
        const auto width = in.U32le(18);
        const auto planes = in.U16le(26);
        const auto bits = in.U16le(28);
        if (!width || !planes || !bits) return FormatVerdict::Unknown();
        if (*planes != 1 || *width == 0 || static_cast<std::int32_t>(*width) < 0)
            return FormatVerdict::Reject();
        if (*bits != 1 && *bits != 2 && *bits != 4 && *bits != 8 && *bits != 16 && *bits != 24 &&
            *bits != 32) {
            return FormatVerdict::Reject();
        }
    }
    return FormatVerdict::Length(*fileSize);
}

FormatVerdict ParseIco(CarveInput& in) {
    const auto reserved = in.U16le(0);
    const auto kind = in.U16le(2);
    const auto count = in.U16le(4);
    if (!reserved || !kind || !count) return FormatVerdict::Unknown();
    if (*reserved != 0 || (*kind != 1 && *kind != 2) || *count == 0 || *count > 256)
        return FormatVerdict::Reject();
    const std::uint64_t directoryEnd = 6 + std::uint64_t{*count} * 16;
    std::uint64_t end = directoryEnd;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = 6 + std::uint64_t{i} * 16;
        const auto zero = in.U8(entry + 3);
        const auto size = in.U32le(entry + 8);
        const auto offset = in.U32le(entry + 12);
        if (!zero || !size || !offset) return FormatVerdict::Unknown();
        if (*zero != 0 || *size == 0 || *offset < directoryEnd) return FormatVerdict::Reject();
        end = std::max(end, std::uint64_t{*offset} + *size);
    }
    return FormatVerdict::Length(end, *kind == 2 ? "cur" : "");
}

}  // namespace lumacore::formats
