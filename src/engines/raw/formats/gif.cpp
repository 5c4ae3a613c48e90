// GIF: the screen descriptor and colour table, then image descriptors and extensions made of
// length-prefixed sub-blocks, up to the trailer byte.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxBlocks = 1000000;

// Steps over a chain of sub-blocks (each a size byte and that many bytes) to after its zero block.
std::optional<std::uint64_t> SkipSubBlocks(CarveInput& in, std::uint64_t at) {
    for (int i = 0; i < kMaxBlocks * 16; ++i) {
        const auto size = in.U8(at);
        if (!size) return std::nullopt;
        at += 1 + *size;
        if (*size == 0) return at;
    }
    return std::nullopt;
}

}  // namespace

FormatVerdict ParseGif(CarveInput& in) {
    if (!in.Equals(0, "GIF87a") && !in.Equals(0, "GIF89a")) return FormatVerdict::Reject();
    const auto flags = in.U8(10);
    if (!flags) return FormatVerdict::Unknown();
    std::uint64_t at = 13;
    if (*flags & 0x80) at += 3u << ((*flags & 7) + 1);
    bool sawImage = false;
    for (int blocks = 0; blocks < kMaxBlocks; ++blocks) {
        const auto kind = in.U8(at);
        if (!kind) return FormatVerdict::Unknown();
        if (*kind == 0x3B) return sawImage ? FormatVerdict::Length(at + 1) : FormatVerdict::Reject();
        std::optional<std::uint64_t> next;
        if (*kind == 0x21) {
            next = SkipSubBlocks(in, at + 2);
        } else if (*kind == 0x2C) {
            const auto local = in.U8(at + 9);
            if (!local) return FormatVerdict::Unknown();
            std::uint64_t data = at + 10;
            if (*local & 0x80) data += 3u << ((*local & 7) + 1);
            const auto codeSize = in.U8(data);
            if (codeSize && (*codeSize < 1 || *codeSize > 12)) {
                return sawImage ? FormatVerdict::Partial(at) : FormatVerdict::Reject();
            }
            next = SkipSubBlocks(in, data + 1);
            sawImage = true;
        } else {
            return blocks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        }
        if (!next) return FormatVerdict::Unknown();
        at = *next;
    }
    return FormatVerdict::Unknown();
}

}  // namespace lumacore::formats
