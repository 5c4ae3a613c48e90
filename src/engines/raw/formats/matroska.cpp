// Matroska and WebM: an EBML header element and one Segment whose size ends the file (a Segment of
// "unknown" size, as live recorders write, leaves the end to the next header).
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

struct Vint {
    std::uint64_t value = 0;
    std::uint32_t length = 0;
    bool unknown = false;  // all value bits set
};

std::optional<Vint> ReadVint(CarveInput& in, std::uint64_t at, bool keepMarker) {
    const auto first = in.U8(at);
    if (!first || *first == 0) return std::nullopt;
    Vint v;
    v.length = 1;
    while (!(*first & (0x80 >> (v.length - 1)))) ++v.length;
    v.value = keepMarker ? *first : (*first & (0xFFu >> v.length));
    bool allOnes = v.value == (0xFFu >> v.length);
    for (std::uint32_t i = 1; i < v.length; ++i) {
        const auto b = in.U8(at + i);
        if (!b) return std::nullopt;
        v.value = (v.value << 8) | *b;
        allOnes = allOnes && *b == 0xFF;
    }
    v.unknown = !keepMarker && allOnes;
    return v;
}

}  // namespace

FormatVerdict ParseMatroska(CarveInput& in) {
    if (in.U32be(0) != 0x1A45DFA3u) return FormatVerdict::Reject();
    const auto headerSize = ReadVint(in, 4, false);
    if (!headerSize) return FormatVerdict::Unknown();
    if (headerSize->unknown || headerSize->value > 4096) return FormatVerdict::Reject();
    const std::uint64_t headerStart = 4 + headerSize->length;
    const std::uint64_t segmentAt = headerStart + headerSize->value;
    // DocType (0x4282) names the member.
    std::string_view extension;
    const auto docType = in.Find(headerStart, segmentAt, "\x42\x82");
    if (docType) {
        if (in.Equals(*docType + 3, "webm")) extension = "webm";
        if (in.Equals(*docType + 3, "matroska")) extension = "mkv";
    }
    if (extension.empty()) return FormatVerdict::Reject();
    const auto segmentId = ReadVint(in, segmentAt, true);
    if (!segmentId) return FormatVerdict::Unknown(extension);
    if (segmentId->value != 0x18538067) return FormatVerdict::Reject();
    const auto segmentSize = ReadVint(in, segmentAt + segmentId->length, false);
    if (!segmentSize) return FormatVerdict::Unknown(extension);
    if (segmentSize->unknown) return FormatVerdict::Unknown(extension);
    const std::uint64_t dataAt = segmentAt + segmentId->length + segmentSize->length;
    if (segmentSize->value > in.limit()) return FormatVerdict::Unknown(extension);
    return FormatVerdict::Length(dataAt + segmentSize->value, extension);
}

}  // namespace lumacore::formats
