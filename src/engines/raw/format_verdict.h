#pragma once

#include <cstdint>
#include <string_view>

#include "engines/raw/carve_input.h"

namespace lumacore {

// A format parser's answer for the bytes at a candidate header.
struct FormatVerdict {
    enum class Kind {
        kReject,   // not this format: a false hit that neither starts a file nor ends the one before
        kLength,   // the format itself says where the file ends
        kUnknown,  // a sound header, but the end is out of reach or not told by the format
        kPartial,  // the data stops being valid at `length`: the file was cut or overwritten there
    };
    Kind kind = Kind::kUnknown;
    std::uint64_t length = 0;
    // A more precise type than the signature's, found inside the file ("docx" for a ZIP holding a
    // Word document); empty keeps the signature's.
    std::string_view extension;
    // A file written in two pieces: [0, firstEnd) and [resumeAt, length), relative to the header, with
    // other data between them. Both zero for a file in one piece.
    std::uint64_t firstEnd = 0;
    std::uint64_t resumeAt = 0;

    bool twoPieces() const { return resumeAt > firstEnd; }

    static FormatVerdict Reject() { return {Kind::kReject, 0, {}}; }
    static FormatVerdict Unknown(std::string_view ext = {}) { return {Kind::kUnknown, 0, ext}; }
    static FormatVerdict Length(std::uint64_t n, std::string_view ext = {}) {
        return {Kind::kLength, n, ext};
    }
    static FormatVerdict Partial(std::uint64_t n, std::string_view ext = {}) {
        return {Kind::kPartial, n, ext};
    }
    static FormatVerdict TwoPieces(std::uint64_t firstEnd, std::uint64_t resumeAt, std::uint64_t end,
                                   std::string_view ext = {}) {
        return {Kind::kLength, end, ext, firstEnd, resumeAt};
    }
};

using FormatParser = FormatVerdict (*)(CarveInput& input);

// The parser that ends files of the type with this extension (case-insensitive), or null when the
// type has none and is carved from header to header.
FormatParser FindFormatParser(std::string_view extension);

}  // namespace lumacore
