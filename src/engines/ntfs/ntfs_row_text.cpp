#include "engines/ntfs/ntfs_row_text.h"

#include <array>
#include <ctime>

#include "core/dos_date.h"
#include "core/size_text.h"

namespace lumacore {

namespace {

struct Token {
    std::uint32_t flag;
    const char* text;
};

constexpr std::array<Token, 17> kTokens{{
    {0x0001, "R-"},
    {0x0002, "H-"},
    {0x0004, "S-"},
    {0x0010, "D-"},
    {0x0020, "A-"},
    {0x0040, "E-"},
    {0x0080, "N-"},
    {0x0100, "T-"},
    {0x0200, "Sp-"},
    {0x0400, "ReSp-"},
    {0x0800, "C-"},
    {0x1000, "O-"},
    {0x2000, "I-"},
    {0x4000, "En-"},
    {0x10000000, "Dir-"},
    {0x20000000, "In-"},
    {0, ""},
}};

constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ull;
constexpr std::uint64_t kFiletimeTicksPerSecond = 10000000;

}  // namespace

std::string NtfsSizeText(std::uint64_t size) {
    const double bytes = static_cast<double>(size);
    if (size < 1024) return Format("%dB", static_cast<int>(size));
    if (size < (std::uint64_t{1} << 20)) return Format("%0.1fKB", bytes / 1024.0);
    if (size < (std::uint64_t{1} << 30)) return Format("%0.1fMB", bytes / 1048576.0);
    return Format("%0.1fGB", bytes / 1073741824.0);
}

std::string NtfsAttributeText(std::uint32_t attributes, bool deleted) {
    std::string text;
    for (const Token& token : kTokens) {
        if (token.flag != 0 && (attributes & token.flag) != 0) text += token.text;
    }
    if (deleted) text += "Del-";
    return text;
}

std::string NtfsTimeText(std::uint64_t filetime) {
    if (filetime == 0) return {};
    // Times before 1970 are shown as they are; the signed arithmetic keeps them.
    const auto seconds = static_cast<std::int64_t>(filetime / kFiletimeTicksPerSecond) -
                         static_cast<std::int64_t>(kFiletimeUnixEpoch / kFiletimeTicksPerSecond);
    // A list of deleted files holds the same few moments over and over (a folder deleted at once);
    // the local-time conversion is the costly part, so the last one is kept.
    thread_local std::int64_t lastSeconds = 0;
    thread_local std::string lastText;
    if (!lastText.empty() && seconds == lastSeconds) return lastText;
    const auto moment = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) return {};
    lastSeconds = seconds;
    lastText = Format("%d-%.2d-%.2d %.2d:%.2d:%.2d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                      local.tm_hour, local.tm_min, local.tm_sec);
    return lastText;
}

FilterSubject NtfsFilterSubject(const NtfsFileNode& node) {
    const std::string_view name = node.name;
    const std::size_t dot = name.rfind('.');
    const std::uint16_t created =
        node.creationTime < kFiletimeUnixEpoch
            ? 0
            : DosDateOf(static_cast<std::time_t>((node.creationTime - kFiletimeUnixEpoch) /
                                                 kFiletimeTicksPerSecond));
    return {name, dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1), created,
            node.size};
}

}  // namespace lumacore
