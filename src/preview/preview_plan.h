#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "preview/preview_source.h"

namespace lumacore {

// Pictures and documents are read whole for the preview, up to this much: the image window and a
// document's temporary copy need all of it, and no real picture or document found on a disk comes near
// it (NTFS's in-memory read stops at the same size). A bigger file is shown by its first bytes.
inline constexpr std::uint64_t kMaxPreviewFileBytes = std::uint64_t{64} << 20;

// How much of the file's data each family's dump shows at most.
std::size_t DumpLength(PreviewFamily family);

// How many bytes of a file the preview reads: a picture or a document whole, anything else only what
// its dump or text view can show.
std::uint64_t PreviewReadLength(PreviewFamily family, std::string_view name, std::uint64_t fileSize);

// The image type code to decode the file's data with, or 0: not a picture by its name, or too big to be
// read whole.
int ImageTypeToDecode(std::string_view name, std::uint64_t fileSize);

// The temporary copy's name: "2356." and the name's extension (letters, digits, '-' and '_' only, so a
// name from the disk can never reach outside the preview folder).
std::string TemporaryCopyName(std::string_view name);

enum class PreviewAction {
    ShowImage,        // the decoded picture in the image window
    OpenWithDesktop,  // a temporary copy opened by the desktop's application for its kind
    ShowText,         // the text kinds, as text in the file-information window
    ShowDump,         // HexDumpText in the file-information window
};

struct PreviewPlan {
    PreviewAction action = PreviewAction::ShowDump;
    std::size_t byteCount = 0;      // how many of the bytes read the action shows or copies
    std::string text;               // ShowText and ShowDump: the file-information window's text
    std::string temporaryCopyName;  // OpenWithDesktop: "2356.<extension>"
};

// Whether the desktop has an application that opens a file of that name (by its MIME type).
using DesktopLookup = std::function<bool(const std::string& fileName)>;

// What a preview shows once the file's first bytes are read and a picture has been tried:
// EXT and RAW: the picture, else the dump of up to 4096 / 512 bytes.
// FAT and NTFS: the picture; then Word, Excel and Outlook files (doc, docx, xls, xlsx, pst) and, on FAT,
// Outlook Express mail stores (dbx, box) opened with the desktop's application when it has one and the
// whole file was read; then, on up to 1024 / 512 bytes, the text kinds (txt, php, htm, html, xml, c, cpp,
// ini) as text up to the first zero byte, and everything else as the dump.
PreviewPlan PlanPreview(PreviewFamily family, std::string_view name, std::uint64_t fileSize,
                        std::span<const std::byte> data, bool imageDecoded,
                        const DesktopLookup& hasApplication);

}  // namespace lumacore
