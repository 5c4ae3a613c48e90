// Photoshop documents: four sections with their lengths, then the merged image, raw or run-length
// coded with a table of row lengths.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// Rows times channels in the row-length table: the format caps both sides at 300000 and channels at 56.
constexpr std::uint64_t kMaxRows = 300000ull * 56;

}  // namespace

FormatVerdict ParsePsd(CarveInput& in) {
    const auto version = in.U16be(4);
    const auto channels = in.U16be(12);
    const auto height = in.U32be(14);
    const auto width = in.U32be(18);
    const auto depth = in.U16be(22);
    if (!in.Equals(0, "8BPS") || !version || !channels || !height || !width || !depth)
        return FormatVerdict::Reject();
    const bool big = *version == 2;
    if ((*version != 1 && *version != 2) || *channels == 0 || *channels > 56 || *height == 0 || *width == 0 ||
        (*depth != 1 && *depth != 8 && *depth != 16 && *depth != 32)) {
        return FormatVerdict::Reject();
    }
    std::uint64_t at = 26;
    for (int section = 0; section < 3; ++section) {
        std::optional<std::uint64_t> length;
        if (section == 2 && big) {
            length = in.U64be(at);
            if (!length) return FormatVerdict::Unknown();
            at += 8 + *length;
        } else {
            const auto l32 = in.U32be(at);
            if (!l32) return FormatVerdict::Unknown();
            at += 4 + std::uint64_t{*l32};
        }
        if (at > in.limit()) return FormatVerdict::Unknown();
    }
    const auto compression = in.U16be(at);
    if (!compression) return FormatVerdict::Unknown();
    at += 2;
    const std::uint64_t rows = std::uint64_t{*height} * *channels;
    if (*compression == 0) {
        const std::uint64_t rowBytes = (std::uint64_t{*width} * *depth + 7) / 8;
        return FormatVerdict::Length(at + rows * rowBytes);
    }
    if (*compression != 1 || rows > kMaxRows) return FormatVerdict::Unknown();
    const std::uint32_t entry = big ? 4 : 2;
    std::uint64_t data = 0;
    for (std::uint64_t r = 0; r < rows; ++r) {
        const auto n = big ? in.U32be(at + r * entry)
                           : std::optional<std::uint32_t>(in.U16be(at + r * entry).value_or(0));
        if (!n || at + r * entry + entry > in.limit()) return FormatVerdict::Unknown();
        data += *n;
    }
    return FormatVerdict::Length(at + rows * entry + data);
}

}  // namespace lumacore::formats
