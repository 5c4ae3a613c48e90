// PCX: run-length coded rows (planes times bytes per line, for each line), then for 256-colour files
// a palette marker and 768 bytes of palette.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParsePcx(CarveInput& in) {
    const auto maker = in.U8(0);
    const auto version = in.U8(1);
    const auto encoding = in.U8(2);
    const auto bits = in.U8(3);
    const auto xmin = in.U16le(4), ymin = in.U16le(6), xmax = in.U16le(8), ymax = in.U16le(10);
    const auto planes = in.U8(65);
    const auto lineBytes = in.U16le(66);
    if (!maker || !version || !encoding || !bits || !xmin || !ymin || !xmax || !ymax || !planes ||
        !lineBytes) {
        return FormatVerdict::Unknown();
    }
    if (*maker != 10 || *version > 5 || *encoding != 1 ||
        (*bits != 1 && *bits != 2 && *bits != 4 && *bits != 8) || *xmax < *xmin || *ymax < *ymin ||
        *planes == 0 || *planes > 4 || *lineBytes == 0) {
        return FormatVerdict::Reject();
    }
    std::uint64_t left = std::uint64_t{*ymax - *ymin + 1u} * *planes * *lineBytes;
    std::uint64_t at = 128;
    while (left > 0) {
        const auto bytes = in.Window(at, CarveInput::kMaxWindow);
        if (bytes.empty()) return FormatVerdict::Unknown();
        std::size_t i = 0;
        for (; i < bytes.size() && left > 0; ++i) {
            const auto c = std::to_integer<std::uint32_t>(bytes[i]);
            if (c >= 0xC0) {
                if (i + 1 >= bytes.size()) break;  // the run's value is in the next window
                left -= std::min<std::uint64_t>(left, c & 0x3F);
                ++i;
            } else {
                --left;
            }
        }
        if (i == 0) return FormatVerdict::Unknown();
        at += i;
    }
    if (*version == 5 && *bits == 8 && *planes == 1 && in.U8(at) == 0x0C) at += 769;
    return FormatVerdict::Length(at);
}

}  // namespace lumacore::formats
