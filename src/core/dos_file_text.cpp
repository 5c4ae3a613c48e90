#include "core/dos_file_text.h"

#include "core/size_text.h"

namespace lumacore {

namespace {

// The attribute bits FAT and exFAT share.
constexpr std::uint8_t kReadOnly = 0x01;
constexpr std::uint8_t kHidden = 0x02;
constexpr std::uint8_t kSystem = 0x04;

}  // namespace

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string FatSizeText(std::uint32_t size) {
    if (size < 1024) return Format("%d Byte", static_cast<int>(size));
    const double kilobytes = size / 1024.0;
    if (kilobytes > 1024.0) return Format("%.2f MB", kilobytes / 1024.0);
    return Format("%.2f KB", kilobytes);
}

std::string AttributeText(std::uint8_t attributes) {
    std::string text;
    if (attributes & kHidden) text += "H-";
    text += (attributes & kReadOnly) ? "R-" : "RW-";
    if (attributes & kSystem) text += "S-";
    while (!text.empty() && text.back() == '-') text.pop_back();
    return text;
}

ShortName SplitLongName(const std::string& longName, const std::string& fallbackExtension) {
    const auto dot = longName.rfind('.');
    if (dot == std::string::npos || dot == 0) return ShortName{longName, fallbackExtension};
    std::string extension = LowerAscii(longName.substr(dot + 1));
    // Keep at most four characters (not bytes) of the extension.
    std::size_t characters = 0;
    std::size_t cut = 0;
    for (; cut < extension.size(); ++cut) {
        const auto c = static_cast<unsigned char>(extension[cut]);
        if ((c & 0xC0) != 0x80 && characters++ == 4) break;
    }
    extension.resize(cut);
    return ShortName{longName.substr(0, dot), extension};
}

}  // namespace lumacore
