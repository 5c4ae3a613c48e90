// Standard MIDI files: the header chunk and as many track chunks as it announces.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParseMidi(CarveInput& in) {
    if (!in.Equals(0, "MThd") || in.U32be(4) != 6u) return FormatVerdict::Reject();
    const auto tracks = in.U16be(10);
    if (!tracks) return FormatVerdict::Unknown();
    std::uint64_t at = 14;
    for (std::uint32_t i = 0; i < *tracks; ++i) {
        const auto length = in.U32be(at + 4);
        if (!length) return FormatVerdict::Unknown();
        if (!in.Equals(at, "MTrk")) return i == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        at += 8 + std::uint64_t{*length};
    }
    return FormatVerdict::Length(at);
}

}  // namespace lumacore::formats
