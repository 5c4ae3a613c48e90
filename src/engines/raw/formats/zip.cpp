// ZIP and the formats built on it (Office Open XML, OpenDocument, JAR/APK, EPUB, XPS, ...): the end of
// central directory record that belongs to this archive (the one whose directory ends right before it,
// measured from this header), plus its comment. Nested archives stored inside fail that test and are
// passed over. The members' names tell which format it is.
#include <array>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr std::uint32_t kMaxNameLength = 4096;
// Members looked at when naming the archive; the telling ones come first in real files.
constexpr int kMaxNamedMembers = 4096;

bool KnownMethod(std::uint16_t method) {
    switch (method) {
        case 0:
        case 1:
        case 6:
        case 8:
        case 9:
        case 12:
        case 14:
        case 19:
        case 93:
        case 95:
        case 96:
        case 97:
        case 98:
        case 99:
            return true;
        default:
            return false;
    }
}

std::string_view MimetypeExtension(CarveInput& in, std::uint64_t dataAt) {
    struct Mime {
        std::string_view type;
        std::string_view extension;
    };
    static constexpr std::array<Mime, 8> kMimes = {{
        {"application/epub+zip", "epub"},
        {"application/vnd.oasis.opendocument.text", "odt"},
        {"application/vnd.oasis.opendocument.spreadsheet", "ods"},
        {"application/vnd.oasis.opendocument.presentation", "odp"},
        {"application/vnd.oasis.opendocument.graphics", "odg"},
        {"application/vnd.oasis.opendocument.formula", "odf"},
        {"application/vnd.sun.xml.writer", "sxw"},
        {"application/x-krita", "kra"},
    }};
    for (const Mime& m : kMimes) {
        if (in.Equals(dataAt, m.type)) {
            // "...text" is also the start of "...text-template".
            const auto after = in.U8(dataAt + m.type.size());
            if (!after || *after != '-') return m.extension;
        }
    }
    return {};
}

// Reads the central directory's names and picks the format they belong to.
std::string_view MemberExtension(CarveInput& in, std::uint64_t at, std::uint64_t end, std::uint64_t entries) {
    bool word = false, excel = false, powerpoint = false, visio = false, manifest = false, android = false,
         xps = false, contentTypes = false;
    for (std::uint64_t i = 0; i < entries && i < kMaxNamedMembers && at + 46 <= end; ++i) {
        if (in.U32le(at) != 0x02014B50u) break;
        const auto nameLength = in.U16le(at + 28);
        const auto extraLength = in.U16le(at + 30);
        const auto commentLength = in.U16le(at + 32);
        if (!nameLength || !extraLength || !commentLength) break;
        const auto name = in.Window(at + 46, *nameLength);
        const std::string_view text(reinterpret_cast<const char*>(name.data()), name.size());
        word = word || text.starts_with("word/");
        excel = excel || text.starts_with("xl/");
        powerpoint = powerpoint || text.starts_with("ppt/");
        visio = visio || text.starts_with("visio/");
        manifest = manifest || text == "META-INF/MANIFEST.MF";
        android = android || text == "AndroidManifest.xml" || text == "classes.dex";
        xps = xps || text.starts_with("Documents/1/FixedDocument") || text == "FixedDocumentSequence.fdseq";
        contentTypes = contentTypes || text == "[Content_Types].xml";
        at += 46 + std::uint64_t{*nameLength} + *extraLength + *commentLength;
    }
    if (contentTypes && word) return "docx";
    if (contentTypes && excel) return "xlsx";
    if (contentTypes && powerpoint) return "pptx";
    if (contentTypes && visio) return "vsdx";
    if (xps) return "xps";
    if (android) return "apk";
    if (manifest) return "jar";
    return "zip";
}

}  // namespace

FormatVerdict ParseZip(CarveInput& in) {
    if (in.U32le(0) != 0x04034B50u) return FormatVerdict::Reject();
    const auto version = in.U16le(4);
    const auto flags = in.U16le(6);
    const auto method = in.U16le(8);
    const auto nameLength = in.U16le(26);
    const auto extraLength = in.U16le(28);
    if (!version || !flags || !method || !nameLength || !extraLength) return FormatVerdict::Unknown();
    if ((*version & 0xFF) > 90 || !KnownMethod(*method) || *nameLength == 0 || *nameLength > kMaxNameLength) {
        return FormatVerdict::Reject();
    }
    const auto firstName = in.Window(30, *nameLength);
    for (const std::byte b : firstName) {
        if (std::to_integer<unsigned char>(b) < 0x20) return FormatVerdict::Reject();
    }
    std::string_view extension;
    if (in.Equals(30, "mimetype") && *nameLength == 8 && *method == 0) {
        extension = MimetypeExtension(in, 30 + 8 + std::uint64_t{*extraLength});
    }
    // The end record ("PK\5\6") of this archive: its directory, as it records it, ends right where the
    // record starts.
    for (std::uint64_t from = 30;;) {
        const auto record = in.Find(from, in.limit(), std::string_view("PK\x05\x06", 4));
        if (!record) return FormatVerdict::Unknown(extension);
        from = *record + 1;
        const auto entries = in.U16le(*record + 10);
        const auto directorySize = in.U32le(*record + 12);
        const auto directoryAt = in.U32le(*record + 16);
        const auto commentLength = in.U16le(*record + 20);
        if (!entries || !directorySize || !directoryAt || !commentLength)
            return FormatVerdict::Unknown(extension);
        std::uint64_t directory = *directoryAt;
        std::uint64_t size = *directorySize;
        std::uint64_t count = *entries;
        std::uint64_t directoryEnd = *record;
        if (*directoryAt == 0xFFFFFFFFu || *directorySize == 0xFFFFFFFFu || *entries == 0xFFFF) {
            // ZIP64: the locator right before the record points at the 64-bit end record.
            if (*record < 20 || in.U32le(*record - 20) != 0x07064B50u) continue;
            const auto zip64At = in.U64le(*record - 12);
            if (!zip64At || in.U32le(*zip64At) != 0x06064B50u) continue;
            const auto count64 = in.U64le(*zip64At + 32);
            const auto size64 = in.U64le(*zip64At + 40);
            const auto at64 = in.U64le(*zip64At + 48);
            if (!count64 || !size64 || !at64) continue;
            directory = *at64;
            size = *size64;
            count = *count64;
            directoryEnd = *zip64At;
        }
        if (directory + size != directoryEnd) continue;
        if (extension.empty()) extension = MemberExtension(in, directory, directoryEnd, count);
        return FormatVerdict::Length(*record + 22 + *commentLength, extension);
    }
}

}  // namespace lumacore::formats
