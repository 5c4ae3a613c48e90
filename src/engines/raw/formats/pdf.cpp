// PDF: from "%PDF-" to the last "%%EOF" that belongs to the file. After each "%%EOF" the file goes on
// only if what follows is more of it: an incremental update or the rest of a linearized file starts
// with an object, a cross-reference section or a comment (but not a new "%PDF-").
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxUpdates = 100000;

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f';
}

// True when the bytes from `at` continue a PDF body.
bool ContinuesPdf(CarveInput& in, std::uint64_t at) {
    const auto bytes = in.Window(at, 64);
    std::size_t i = 0;
    while (i < bytes.size() && IsSpace(std::to_integer<std::uint8_t>(bytes[i]))) ++i;
    const std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + i, bytes.size() - i);
    if (rest.starts_with("xref") || rest.starts_with("trailer") || rest.starts_with("startxref")) return true;
    if (rest.starts_with("%") && !rest.starts_with("%PDF-")) return rest.size() > 1 && rest[1] != '%';
    // "12 0 obj"
    std::size_t p = 0;
    while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9') ++p;
    if (p == 0 || p >= rest.size() || rest[p] != ' ') return false;
    ++p;
    const std::size_t generation = p;
    while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9') ++p;
    return p > generation && rest.substr(p).starts_with(" obj");
}

}  // namespace

FormatVerdict ParsePdf(CarveInput& in) {
    const auto header = in.Window(0, 8);
    if (header.size() < 8 || !in.Equals(0, "%PDF-")) return FormatVerdict::Reject();
    const auto major = std::to_integer<char>(header[5]);
    if (major < '1' || major > '2' || std::to_integer<char>(header[6]) != '.') return FormatVerdict::Reject();
    std::uint64_t from = 8;
    for (int updates = 0; updates < kMaxUpdates; ++updates) {
        const auto mark = in.Find(from, in.limit(), "%%EOF");
        if (!mark) return FormatVerdict::Unknown();
        // A PDF does not hold another one's header in the clear (writers store an attached PDF as a
        // compressed stream). A "%%EOF" past a new "%PDF-" is the next document's: without this a cut
        // PDF would run on to it and swallow every file in between.
        if (in.Find(from, *mark, "%PDF-")) return FormatVerdict::Unknown();
        std::uint64_t end = *mark + 5;
        // The line end after the marker is part of the file.
        if (in.Equals(end, "\r\n")) {
            end += 2;
        } else if (in.Equals(end, "\n") || in.Equals(end, "\r")) {
            end += 1;
        }
        if (!ContinuesPdf(in, end)) return FormatVerdict::Length(end);
        from = end;
    }
    return FormatVerdict::Unknown();
}

}  // namespace lumacore::formats
