// The ISO base media family (MP4, MOV, 3GP, M4A, HEIC/AVIF, CR3, JPEG 2000): a run of top-level boxes,
// each with its size. The file ends after the last box whose type belongs at the top level; the brand
// in "ftyp" tells which member of the family it is.
#include <array>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxBoxes = 100000;

constexpr std::array<std::string_view, 26> kTopLevel = {
    "ftyp", "moov", "mdat", "free", "skip", "wide", "meta", "uuid", "pdin", "moof", "mfra", "styp", "sidx",
    "ssix", "prft", "emsg", "pnot", "jP  ", "jp2h", "jp2c", "jp2i", "xml ", "udta", "mmp4", "junk", "PICT"};

bool IsTopLevel(std::span<const std::byte> type) {
    const std::string_view text(reinterpret_cast<const char*>(type.data()), type.size());
    for (const std::string_view known : kTopLevel) {
        if (known == text) return true;
    }
    return false;
}

std::string_view BrandExtension(std::string_view brand) {
    struct Brand {
        std::string_view prefix;
        std::string_view extension;
    };
    static constexpr std::array<Brand, 22> kBrands = {{
        {"qt  ", "mov"},  {"M4A ", "m4a"},  {"M4B ", "m4b"},  {"M4P ", "m4a"},  {"M4V ", "m4v"},
        {"3gp", "3gp"},   {"3ge", "3gp"},   {"3gg", "3gp"},   {"3g2", "3g2"},   {"heic", "heic"},
        {"heix", "heic"}, {"hevc", "heic"}, {"heim", "heic"}, {"mif1", "heic"}, {"msf1", "heic"},
        {"avif", "avif"}, {"crx ", "cr3"},  {"jp2 ", "jp2"},  {"jpx ", "jpx"},  {"f4v ", "f4v"},
        {"isom", "mp4"},  {"mp4", "mp4"},
    }};
    for (const Brand& b : kBrands) {
        if (brand.substr(0, b.prefix.size()) == b.prefix) return b.extension;
    }
    return "mp4";
}

}  // namespace

FormatVerdict ParseIsoBmff(CarveInput& in) {
    std::uint64_t at = 0;
    std::string_view extension;
    bool sawMedia = false;
    for (int boxes = 0; boxes < kMaxBoxes; ++boxes) {
        const auto size32 = in.U32be(at);
        std::array<std::byte, 4> type{};
        if (!size32 || !in.Read(at + 4, type)) {
            return boxes == 0 ? FormatVerdict::Unknown() : FormatVerdict::Length(at, extension);
        }
        if (!IsTopLevel(type)) {
            if (boxes == 0) return FormatVerdict::Reject();
            break;
        }
        const std::string_view name(reinterpret_cast<const char*>(type.data()), 4);
        if (boxes == 0 && name != "ftyp" && name != "jP  " && name != "moov" && name != "mdat" &&
            name != "wide" && name != "free" && name != "skip" && name != "pnot") {
            return FormatVerdict::Reject();
        }
        std::uint64_t size = *size32;
        if (size == 1) {
            const auto large = in.U64be(at + 8);
            if (!large) return FormatVerdict::Unknown(extension);
            size = *large;
            if (size < 16)
                return boxes == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, extension);
        } else if (size == 0) {
            // The last box runs to the end of the file, which nothing else tells.
            return FormatVerdict::Unknown(extension);
        } else if (size < 8) {
            return boxes == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at, extension);
        }
        if (name == "ftyp") {
            std::array<std::byte, 4> brand{};
            if (in.Read(at + 8, brand)) {
                extension = BrandExtension(std::string_view(reinterpret_cast<const char*>(brand.data()), 4));
            }
        }
        if (name == "moov" || name == "mdat" || name == "meta" || name == "moof" || name == "jp2c")
            sawMedia = true;
        if (size > in.limit() - std::min(at, in.limit())) return FormatVerdict::Unknown(extension);
        at += size;
    }
    if (!sawMedia) return FormatVerdict::Reject();
    return FormatVerdict::Length(at, extension);
}

}  // namespace lumacore::formats
