// Flash video: tags, each followed by its own size, so the chain checks itself as it goes.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr std::uint64_t kMaxTags = std::uint64_t{1} << 28;

}  // namespace

FormatVerdict ParseFlv(CarveInput& in) {
    if (!in.Equals(0, "FLV\x01")) return FormatVerdict::Reject();
    const auto headerSize = in.U32be(5);
    if (!headerSize) return FormatVerdict::Unknown();
    if (*headerSize < 9 || *headerSize > 1024) return FormatVerdict::Reject();
    std::uint64_t at = *headerSize + 4;  // the first "previous tag size" is zero
    for (std::uint64_t tags = 0; tags < kMaxTags; ++tags) {
        const auto type = in.U8(at);
        const auto high = in.U8(at + 1);
        const auto low = in.U16be(at + 2);
        if (!type || !high || !low) return tags == 0 ? FormatVerdict::Unknown() : FormatVerdict::Length(at);
        const std::uint32_t size = (std::uint32_t{*high} << 16) | *low;
        const auto trailer = in.U32be(at + 11 + size);
        if ((*type & 0x1F) != 8 && (*type & 0x1F) != 9 && (*type & 0x1F) != 18)
            return FormatVerdict::Length(at);
        if (!trailer) return FormatVerdict::Unknown();
        if (*trailer != 11 + size) return FormatVerdict::Length(at);
        at += 15 + size;
    }
    return FormatVerdict::Length(at);
}

}  // namespace lumacore::formats
