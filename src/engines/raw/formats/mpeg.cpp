// MPEG program streams (packs and PES packets up to the end code) and transport streams (188-byte
// packets, each starting with the sync byte).
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr std::uint64_t kMaxPackets = std::uint64_t{1} << 28;
constexpr std::uint32_t kTsPacket = 188;
// Packets needed to believe a sync byte at a sector start.
constexpr std::uint64_t kMinTsPackets = 16;

}  // namespace

FormatVerdict ParseMpegPs(CarveInput& in) {
    std::uint64_t at = 0;
    for (std::uint64_t packets = 0; packets < kMaxPackets; ++packets) {
        const auto code = in.U32be(at);
        if (!code) return FormatVerdict::Unknown("mpg");
        if ((*code & 0xFFFFFF00u) != 0x100u) {
            return packets == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, "mpg");
        }
        const std::uint32_t id = *code & 0xFF;
        if (id == 0xB9) return FormatVerdict::Length(at + 4, "mpg");
        if (id == 0xBA) {
            const auto marker = in.U8(at + 4);
            if (!marker) return FormatVerdict::Unknown("mpg");
            if ((*marker & 0xC0) == 0x40) {  // MPEG-2
                const auto stuffing = in.U8(at + 13);
                if (!stuffing) return FormatVerdict::Unknown("mpg");
                at += 14 + (*stuffing & 7);
            } else if ((*marker & 0xF0) == 0x20) {  // MPEG-1
                at += 12;
            } else {
                return packets == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, "mpg");
            }
        } else if (id >= 0xBB) {
            const auto length = in.U16be(at + 4);
            if (!length) return FormatVerdict::Unknown("mpg");
            at += 6 + *length;
        } else {
            return packets == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, "mpg");
        }
    }
    return FormatVerdict::Unknown("mpg");
}

FormatVerdict ParseMpegTs(CarveInput& in) {
    std::uint64_t packets = 0;
    for (; packets < kMaxPackets; ++packets) {
        const auto sync = in.U8(packets * kTsPacket);
        if (!sync) return FormatVerdict::Unknown("ts");
        if (*sync != 0x47) break;
    }
    if (packets < kMinTsPackets) return FormatVerdict::Reject();
    return FormatVerdict::Length(packets * kTsPacket, "ts");
}

}  // namespace lumacore::formats
