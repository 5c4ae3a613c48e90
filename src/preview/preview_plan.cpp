#include "preview/preview_plan.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "preview/hex_dump_text.h"
#include "preview/image_type.h"

namespace lumacore {

namespace {

// The temporary copies keep the old fixed name; only the folder they go to is new (private).
constexpr std::string_view kTemporaryCopyStem = "2356.";
// An extension longer than this is no real file kind; it is cut there.
constexpr std::size_t kMaxCopyExtension = 16;

template <std::size_t N>
bool EndsWithAny(std::string_view name, const std::array<std::string_view, N>& tails) {
    return std::any_of(tails.begin(), tails.end(),
                       [&](std::string_view tail) { return EndsWithNoCase(name, tail); });
}

// Word, Excel and Outlook files, by their last three or four characters.
constexpr std::array<std::string_view, 5> kOfficeEndings{"doc", "docx", "xls", "xlsx", "pst"};
// Outlook Express mail stores; only the FAT page hands them to the desktop.
constexpr std::array<std::string_view, 2> kMailStoreEndings{"dbx", "box"};
// Shown as text. A C source is matched with its dot: the one-letter kind compared as the name's last
// three characters would never match.
constexpr std::array<std::string_view, 8> kTextEndings{"txt", "php", "htm", "html",
                                                       "xml", ".c",  "cpp", "ini"};

bool OpensWithDesktop(PreviewFamily family, std::string_view name) {
    const bool office = family == PreviewFamily::Fat || family == PreviewFamily::Ntfs;
    return (office && EndsWithAny(name, kOfficeEndings)) ||
           (family == PreviewFamily::Fat && EndsWithAny(name, kMailStoreEndings));
}

// The text view shows the bytes up to the first zero byte.
std::string TextUpToZero(std::span<const std::byte> data) {
    const auto zero = std::find(data.begin(), data.end(), std::byte{0});
    return std::string(reinterpret_cast<const char*>(data.data()),
                       static_cast<std::size_t>(zero - data.begin()));
}

}  // namespace

std::size_t DumpLength(PreviewFamily family) {
    switch (family) {
        case PreviewFamily::Ext:
            return 4096;
        case PreviewFamily::Fat:
            return 1024;
        case PreviewFamily::Ntfs:
        case PreviewFamily::Raw:
            return 512;
    }
    return 512;
}

int ImageTypeToDecode(std::string_view name, std::uint64_t fileSize) {
    if (fileSize == 0 || fileSize > kMaxPreviewFileBytes) return 0;
    return ImageTypeFromName(name);
}

std::uint64_t PreviewReadLength(PreviewFamily family, std::string_view name, std::uint64_t fileSize) {
    const bool whole = ImageTypeToDecode(name, fileSize) != 0 ||
                       (OpensWithDesktop(family, name) && fileSize <= kMaxPreviewFileBytes);
    return whole ? fileSize : std::min<std::uint64_t>(fileSize, DumpLength(family));
}

std::string TemporaryCopyName(std::string_view name) {
    std::string extension;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        for (char c : name.substr(dot + 1)) {
            if (extension.size() == kMaxCopyExtension) break;
            if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_') extension += c;
        }
    }
    return std::string(kTemporaryCopyStem) + (extension.empty() ? std::string("bin") : extension);
}

PreviewPlan PlanPreview(PreviewFamily family, std::string_view name, std::uint64_t fileSize,
                        std::span<const std::byte> data, bool imageDecoded,
                        const DesktopLookup& hasApplication) {
    PreviewPlan plan;
    if (imageDecoded) {
        plan.action = PreviewAction::ShowImage;
        plan.byteCount = data.size();
        return plan;
    }
    if (OpensWithDesktop(family, name) && data.size() >= fileSize && fileSize > 0) {
        const std::string copyName = TemporaryCopyName(name);
        if (hasApplication && hasApplication(copyName)) {
            plan.action = PreviewAction::OpenWithDesktop;
            plan.byteCount = data.size();
            plan.temporaryCopyName = copyName;
            return plan;
        }
    }
    const auto shown = data.first(std::min(data.size(), DumpLength(family)));
    const bool textKind =
        (family == PreviewFamily::Fat || family == PreviewFamily::Ntfs) && EndsWithAny(name, kTextEndings);
    if (textKind) {
        plan.action = PreviewAction::ShowText;
        plan.text = TextUpToZero(shown);
        plan.byteCount = plan.text.size();
        return plan;
    }
    plan.action = PreviewAction::ShowDump;
    plan.text = HexDumpText(shown);
    plan.byteCount = shown.size();
    return plan;
}

}  // namespace lumacore
