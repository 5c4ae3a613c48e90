// Text formats (HTML, XML, SVG, plain text, scripts, mail, RTF): no length anywhere, so the file runs
// while the bytes are text (printable ASCII, tabs, line ends and well-formed UTF-8) and ends where the
// text stops, at the closing tag of an HTML document, or where an RTF document's braces balance.
#include <array>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// Text shorter than this at a header is a chance match in binary data.
constexpr std::uint64_t kMinText = 16;

// The length of the text run from `from`, within the limit; a UTF-8 sequence cut by the limit counts
// as text.
std::uint64_t TextRun(CarveInput& in, std::uint64_t from) {
    std::uint64_t at = from;
    int pending = 0;  // continuation bytes still due
    while (at < in.limit()) {
        const auto bytes = in.Window(at, CarveInput::kMaxWindow);
        if (bytes.empty()) break;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto c = std::to_integer<std::uint8_t>(bytes[i]);
            if (pending > 0) {
                if ((c & 0xC0) != 0x80) return at + i - 1;
                --pending;
                continue;
            }
            if (c >= 0x20 && c < 0x7F) continue;
            if (c == '\n' || c == '\r' || c == '\t' || c == '\f') continue;
            if (c >= 0xC2 && c <= 0xDF)
                pending = 1;
            else if (c >= 0xE0 && c <= 0xEF)
                pending = 2;
            else if (c >= 0xF0 && c <= 0xF4)
                pending = 3;
            else
                return at + i;
        }
        at += bytes.size();
    }
    return at;
}

// The end of the last `closing` tag (any letter case) within the text, with its line end, if any.
std::optional<std::uint64_t> AfterLast(CarveInput& in, std::uint64_t end, std::string_view lower,
                                       std::string_view upper) {
    std::optional<std::uint64_t> found;
    for (const std::string_view tag : {lower, upper}) {
        for (std::uint64_t from = 0;;) {
            const auto at = in.Find(from, end, tag);
            if (!at) break;
            from = *at + 1;
            if (!found || *at + tag.size() > *found) found = *at + tag.size();
        }
    }
    if (!found) return std::nullopt;
    std::uint64_t after = *found;
    if (in.Equals(after, "\r\n"))
        after += 2;
    else if (in.Equals(after, "\n"))
        after += 1;
    return after;
}

// Bytes after a text file in its last sector or in the filler that follows may happen to be text too.
// Text files end with a line end: the run is cut back to the last one, if it lies close to the end.
constexpr std::size_t kMaxTail = 64;

std::uint64_t AfterLastLineEnd(CarveInput& in, std::uint64_t run) {
    const std::uint64_t from = run > kMaxTail ? run - kMaxTail : 0;
    const auto tail = in.Window(from, static_cast<std::size_t>(run - from));
    for (std::size_t i = tail.size(); i > 0; --i) {
        if (tail[i - 1] == std::byte{'\n'}) return from + i;
    }
    return run;
}

// XML ends with its root element's closing tag and perhaps a line end.
std::uint64_t AfterLastTag(CarveInput& in, std::uint64_t run) {
    const std::uint64_t from = run > kMaxTail ? run - kMaxTail : 0;
    const auto tail = in.Window(from, static_cast<std::size_t>(run - from));
    for (std::size_t i = tail.size(); i > 0; --i) {
        if (tail[i - 1] != std::byte{'>'}) continue;
        std::uint64_t end = from + i;
        if (in.Equals(end, "\r\n")) return end + 2;
        if (in.Equals(end, "\n")) return end + 1;
        return end;
    }
    return run;
}

}  // namespace

FormatVerdict ParseText(CarveInput& in) {
    const std::uint64_t run = TextRun(in, 0);
    if (run < kMinText) return FormatVerdict::Reject();
    // The text reached the limit: it may go on past it.
    if (run >= in.limit()) return FormatVerdict::Unknown();
    const auto head = in.Window(0, 256);
    std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.find("<html") != std::string_view::npos || text.find("<HTML") != std::string_view::npos ||
        text.find("<!DOCTYPE html") != std::string_view::npos ||
        text.find("<!doctype html") != std::string_view::npos) {
        if (const auto end = AfterLast(in, run, "</html>", "</HTML>"))
            return FormatVerdict::Length(*end, "html");
        return FormatVerdict::Length(AfterLastLineEnd(in, run), "html");
    }
    if (text.starts_with("<?xml")) {
        const std::uint64_t end = AfterLastTag(in, run);
        return FormatVerdict::Length(end, text.find("<svg") != std::string_view::npos ? "svg" : "xml");
    }
    return FormatVerdict::Length(AfterLastLineEnd(in, run));
}

FormatVerdict ParseRtf(CarveInput& in) {
    if (!in.Equals(0, "{\\rtf")) return FormatVerdict::Reject();
    // Braces balance at the end of the document; "\{" and "\}" are escaped literal braces.
    std::int64_t depth = 0;
    bool escaped = false;
    for (std::uint64_t at = 0; at < in.limit();) {
        const auto bytes = in.Window(at, CarveInput::kMaxWindow);
        if (bytes.empty()) break;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto c = std::to_integer<unsigned char>(bytes[i]);
            if (escaped) {
                escaped = false;
                continue;
            }
            if (c == '\\') {
                escaped = true;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                std::uint64_t end = at + i + 1;
                if (in.Equals(end, "\r\n"))
                    end += 2;
                else if (in.Equals(end, "\n"))
                    end += 1;
                return FormatVerdict::Length(end);
            } else if (c == 0) {
                return FormatVerdict::Partial(at + i);
            }
        }
        at += bytes.size();
    }
    return FormatVerdict::Unknown();
}

FormatVerdict ParseMail(CarveInput& in) {
    // A mail header starts with a field name and a colon, or with the mbox "From " line.
    const auto head = in.Window(0, 64);
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    const bool mbox = text.starts_with("From ");
    const std::size_t colon = text.find(':');
    if (!mbox && (colon == std::string_view::npos || colon == 0)) return FormatVerdict::Reject();
    for (std::size_t i = 0; !mbox && i < colon; ++i) {
        const char c = text[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return FormatVerdict::Reject();
        }
    }
    const std::uint64_t run = TextRun(in, 0);
    if (run < kMinText) return FormatVerdict::Reject();
    if (run >= in.limit()) return FormatVerdict::Unknown(mbox ? "mbox" : "eml");
    return FormatVerdict::Length(AfterLastLineEnd(in, run), mbox ? "mbox" : "eml");
}

}  // namespace lumacore::formats
