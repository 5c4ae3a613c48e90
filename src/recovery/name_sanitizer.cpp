#include "recovery/name_sanitizer.h"

#include "core/filter.h"

namespace lumacore {

namespace {

// An extension longer than this is more likely part of the name than a file type ("notes.from the
// meeting on ..."), so a cut keeps it no more than any other text.
constexpr std::size_t kMaxKeptExtensionBytes = 16;

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Bytes in the character starting at text[at]: the whole sequence when it is well-formed UTF-8, else 1
// (a stray byte is a character of its own here).
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 1 || text.size() - at < length) return 1;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 1;  // overlong, surrogate or past U+10FFFF
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 1;
    }
    return length;
}

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + CharacterLength(text, end);
        if (next > limit) break;
        end = next;
    }
    return text.substr(0, end);
}

// Where the extension starts (at its dot), or text.size() when there is none worth keeping. A leading
// dot marks a hidden name, not an extension.
std::size_t ExtensionStart(std::string_view text) {
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || text.size() - dot > kMaxKeptExtensionBytes) {
        return text.size();
    }
    return dot;
}

// stem + tail within the component limit, cutting the stem when it has to. `tail` is short enough to
// leave most of the limit to the stem.
std::string Fit(std::string_view stem, std::string_view tail) {
    std::string out(CutAtCharacter(stem, kMaxComponentBytes - tail.size()));
    out.append(tail);
    return out;
}

}  // namespace

std::string SanitizePathComponent(std::string_view raw) {
    if (raw.empty() || raw == ".") return "_";
    if (raw == "..") return "__";
    std::string safe(raw);
    for (char& c : safe) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '/' || b < 0x20 || b == 0x7F) c = '_';
    }
    if (safe.size() <= kMaxComponentBytes) return safe;
    const std::string_view name = safe;
    const std::size_t dot = ExtensionStart(name);
    return Fit(name.substr(0, dot), name.substr(dot));
}

std::string UniqueNames::Claim(const std::filesystem::path& folder, std::string_view name) {
    std::filesystem::path key = folder.lexically_normal();
    if (!key.has_filename() && key.has_relative_path()) key = key.parent_path();  // "dest/" is "dest"
    std::unordered_set<std::string>& taken = taken_[key.string()];
    if (taken.insert(LowerCaseUtf8(name)).second) return std::string(name);

    const std::size_t dot = ExtensionStart(name);
    const std::string_view stem = name.substr(0, dot);
    const std::string_view extension = name.substr(dot);
    // Each number gives a different name even after the stem is cut (the digits sit between the last
    // "(" and ")"), so one of the first taken.size() + 1 numbers is free.
    for (std::size_t number = 2;; ++number) {
        std::string candidate = Fit(stem, " (" + std::to_string(number) + ")" + std::string(extension));
        if (taken.insert(LowerCaseUtf8(candidate)).second) return candidate;
    }
}

}  // namespace lumacore
