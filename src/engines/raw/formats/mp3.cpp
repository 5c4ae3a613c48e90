// MP3 (MPEG audio layers I-III): an optional ID3v2 tag, then frames whose headers give their length,
// then optional APE and ID3v1 tags. Without a tag at the start, a run of consistent frames is what
// tells real audio from bytes that merely start with a frame sync.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// Consecutive frames of the same version, layer and rate needed to believe a bare frame sync.
constexpr int kMinFramesWithoutTag = 8;
constexpr int kMaxFrames = 10000000;

struct Frame {
    std::uint32_t length = 0;
    std::uint32_t key = 0;  // version, layer and sample rate: constant through a file
};

std::optional<Frame> DecodeHeader(std::uint32_t h) {
    if ((h & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
    const std::uint32_t version = (h >> 19) & 3;  // 0: 2.5, 2: 2, 3: 1
    const std::uint32_t layer = (h >> 17) & 3;    // 1: III, 2: II, 3: I
    const std::uint32_t bitrateIndex = (h >> 12) & 15;
    const std::uint32_t rateIndex = (h >> 10) & 3;
    const std::uint32_t padding = (h >> 9) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static constexpr std::uint16_t kBitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr std::uint32_t kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const std::uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const std::uint32_t kbps = kBitrates[mpeg1 ? 0 : 1][3 - layer][bitrateIndex];
    Frame f;
    if (layer == 3) {
        f.length = (12 * kbps * 1000 / rate + padding) * 4;
    } else {
        const std::uint32_t factor = (layer == 1 && !mpeg1) ? 72 : 144;
        f.length = factor * kbps * 1000 / rate + padding;
    }
    f.key = (version << 4) | (layer << 2) | rateIndex;
    if (f.length < 4) return std::nullopt;
    return f;
}

}  // namespace

FormatVerdict ParseMp3(CarveInput& in) {
    std::uint64_t at = 0;
    bool tagged = false;
    if (in.Equals(0, "ID3")) {
        std::array<std::byte, 10> header{};
        if (!in.Read(0, header)) return FormatVerdict::Unknown();
        const auto byte = [&](std::size_t i) { return std::to_integer<std::uint32_t>(header[i]); };
        if (byte(3) < 2 || byte(3) > 4 || (byte(6) | byte(7) | byte(8) | byte(9)) & 0x80)
            return FormatVerdict::Reject();
        const std::uint32_t size = (byte(6) << 21) | (byte(7) << 14) | (byte(8) << 7) | byte(9);
        at = 10 + std::uint64_t{size} + ((byte(5) & 0x10) ? 10 : 0);
        tagged = true;
        // Some writers pad the tag with more zeros than it declares.
        for (int i = 0; i < 65536; ++i) {
            const auto b = in.U8(at);
            if (!b || *b != 0) break;
            ++at;
        }
    }
    int frames = 0;
    std::uint32_t key = 0;
    for (; frames < kMaxFrames; ++frames) {
        const auto h = in.U32be(at);
        if (!h) return FormatVerdict::Unknown("mp3");
        const auto frame = DecodeHeader(*h);
        if (!frame || (frames > 0 && frame->key != key)) break;
        key = frame->key;
        if (at + frame->length > in.limit()) return FormatVerdict::Unknown("mp3");
        at += frame->length;
    }
    if (frames == 0 || (!tagged && frames < kMinFramesWithoutTag)) return FormatVerdict::Reject();
    if (in.Equals(at, "APETAGEX")) {
        const auto size = in.U32le(at + 12);
        if (size && *size < (1u << 24)) at += 32 + *size;
    }
    if (in.Equals(at, "TAG")) at += 128;
    return FormatVerdict::Length(at, "mp3");
}

}  // namespace lumacore::formats
