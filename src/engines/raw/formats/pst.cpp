// Outlook personal folders (PST/OST): the header records the file's end.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParsePst(CarveInput& in) {
    if (!in.Equals(0, "!BDN")) return FormatVerdict::Reject();
    const auto client = in.U16le(8);
    const auto version = in.U16le(10);
    if (!client || !version) return FormatVerdict::Unknown();
    std::string_view extension = *client == 0x4F53 ? "ost" : "pst";  // "SO" marks an offline store
    std::optional<std::uint64_t> end;
    if (*version == 14 || *version == 15) {
        const auto eof = in.U32le(168);
        if (eof) end = *eof;
    } else if (*version >= 21 && *version <= 37) {
        end = in.U64le(184);
    } else {
        return FormatVerdict::Reject();
    }
    if (!end) return FormatVerdict::Unknown(extension);
    if (*end < 512) return FormatVerdict::Reject();
    return FormatVerdict::Length(*end, extension);
}

}  // namespace lumacore::formats
