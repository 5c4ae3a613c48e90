// Ogg (Vorbis, Opus, FLAC, Theora): pages, each 27 bytes of header, a segment table and the segments,
// up to the page that ends the last of the logical streams begun in the file.
#include <algorithm>
#include <vector>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxPages = 10000000;
// Multiplexed streams in one file: a video and a few audio and subtitle tracks.
constexpr std::size_t kMaxStreams = 64;

}  // namespace

FormatVerdict ParseOgg(CarveInput& in) {
    std::uint64_t at = 0;
    std::vector<std::uint32_t> open;
    std::string_view extension;
    for (int pages = 0; pages < kMaxPages; ++pages) {
        if (!in.Equals(at, "OggS")) {
            if (pages == 0) return FormatVerdict::Reject();
            return FormatVerdict::Partial(at, extension);
        }
        const auto version = in.U8(at + 4);
        const auto flags = in.U8(at + 5);
        const auto serial = in.U32le(at + 14);
        const auto segments = in.U8(at + 26);
        if (!version || !flags || !serial || !segments) return FormatVerdict::Unknown(extension);
        if (*version != 0 || *flags > 7)
            return pages == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, extension);
        const auto table = in.Window(at + 27, *segments);
        if (table.size() < *segments) return FormatVerdict::Unknown(extension);
        std::uint64_t body = 0;
        for (const std::byte b : table) body += std::to_integer<std::uint32_t>(b);
        if (pages == 0) {
            if (!(*flags & 2)) return FormatVerdict::Reject();
            if (in.Equals(at + 28 + *segments, "vorbis")) extension = "ogg";
            if (in.Equals(at + 27 + *segments, "OpusHead")) extension = "opus";
            if (in.Equals(at + 28 + *segments, "theora")) extension = "ogv";
            if (in.Equals(at + 28 + *segments, "FLAC")) extension = "oga";
        }
        if (*flags & 2) {
            if (open.size() >= kMaxStreams) return FormatVerdict::Unknown(extension);
            open.push_back(*serial);
        }
        at += 27 + *segments + body;
        if (*flags & 4) {
            open.erase(std::remove(open.begin(), open.end(), *serial), open.end());
            if (open.empty()) return FormatVerdict::Length(at, extension);
        }
        if (at > in.limit()) return FormatVerdict::Unknown(extension);
    }
    return FormatVerdict::Unknown(extension);
}

}  // namespace lumacore::formats
