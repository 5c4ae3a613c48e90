// JPEG: marker segments up to the start of scan, entropy-coded data up to the next marker, and so on
// to the end-of-image marker. Segments carry their own length, so a thumbnail inside an APP1 segment
// (with its own SOI and EOI) is stepped over rather than ending the file. When the picture's data
// stops being valid, the rest may lie further on, past another file's clusters: the decoder looks for
// it, and a sure find makes the file two pieces.
#include "engines/raw/formats/format_parsers.h"
#include "engines/raw/formats/jpeg_decoder.h"

namespace lumacore::formats {

namespace {

// Real files have a few dozen segments (progressive scans add one SOS and DHT per pass); thousands
// mean the walk went astray in random bytes.
constexpr int kMaxSegments = 20000;

bool IsSegmentMarker(std::uint8_t m) {
    // APPn, DQT, DHT, SOFn (C0-CF but DHT C4, JPG C8, DAC CC), DRI, COM, DNL, DHP, EXP, JPGn.
    return (m >= 0xC0 && m <= 0xCF) || (m >= 0xDB && m <= 0xDF) || (m >= 0xE0 && m <= 0xEF) ||
           (m >= 0xF0 && m <= 0xFD) || m == 0xFE || m == 0xDA;
}

// The data stopped being the picture's at `at`: the file in two pieces when the rest is surely found,
// else cut there.
FormatVerdict Broken(CarveInput& in, std::uint64_t at) {
    if (const auto pieces = FindJpegSecondFragment(in))
        return FormatVerdict::TwoPieces(pieces->firstEnd, pieces->resumeAt, pieces->end);
    return FormatVerdict::Partial(at);
}

}  // namespace

FormatVerdict ParseJpeg(CarveInput& in) {
    if (in.U16be(0) != 0xFFD8) return FormatVerdict::Reject();
    std::uint64_t at = 2;
    bool sawFrame = false;
    // Until the first scan, broken structure means this was never a JPEG; after it, that the data
    // stopped being the picture's.
    bool sawScan = false;
    for (int segments = 0; segments < kMaxSegments; ++segments) {
        auto ff = in.U8(at);
        if (!ff) return FormatVerdict::Unknown();
        if (*ff != 0xFF) return !sawScan ? FormatVerdict::Reject() : Broken(in, at);
        // Fill bytes may precede a marker.
        std::uint64_t markerAt = at + 1;
        auto marker = in.U8(markerAt);
        for (int fill = 0; marker && *marker == 0xFF && fill < 64; ++fill) marker = in.U8(++markerAt);
        if (!marker) return FormatVerdict::Unknown();
        if (*marker == 0xD9) {
            if (!sawFrame) return FormatVerdict::Reject();
            if (!sawScan) return FormatVerdict::Length(markerAt + 1);
            // Markers alone cannot tell a picture from one whose data runs on into another file's (a
            // gap holding another picture's data up to its end marker, or random bytes that happen to
            // hold one): the decoder can.
            const JpegDecodeResult decoded = DecodeJpeg(in);
            if (decoded.kind == JpegDecodeResult::Kind::kBroken && decoded.inData) return Broken(in, decoded.at);
            if (decoded.kind == JpegDecodeResult::Kind::kWhole) return FormatVerdict::Length(decoded.at);
            return FormatVerdict::Length(markerAt + 1);
        }
        if (!IsSegmentMarker(*marker)) {
            return !sawScan ? FormatVerdict::Reject() : Broken(in, at);
        }
        const auto length = in.U16be(markerAt + 1);
        if (!length) return FormatVerdict::Unknown();
        if (*length < 2) return !sawScan ? FormatVerdict::Reject() : Broken(in, at);
        if (*marker >= 0xC0 && *marker <= 0xCF && *marker != 0xC4 && *marker != 0xC8 && *marker != 0xCC) {
            sawFrame = true;
        }
        at = markerAt + 1 + *length;
        if (*marker != 0xDA) continue;
        if (!sawFrame) return FormatVerdict::Reject();
        sawScan = true;
        // Entropy-coded data: an FF is followed by 00 (a stuffed byte), a restart marker, or the next
        // marker. Anything else means the picture's data stopped here.
        for (;;) {
            const auto ffAt = in.FindByte(at, in.limit(), 0xFF);
            if (!ffAt) return FormatVerdict::Unknown();
            const auto next = in.U8(*ffAt + 1);
            if (!next) return FormatVerdict::Unknown();
            if (*next == 0x00 || (*next >= 0xD0 && *next <= 0xD7)) {
                at = *ffAt + 2;
                continue;
            }
            if (*next == 0xFF || *next == 0xD9 || IsSegmentMarker(*next)) {
                at = *ffAt;
                break;
            }
            return Broken(in, *ffAt);
        }
    }
    return FormatVerdict::Unknown();
}

}  // namespace lumacore::formats
