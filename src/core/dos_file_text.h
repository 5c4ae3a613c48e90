#pragma once

#include <cstdint>
#include <string>

namespace lumacore {

// The list texts the FAT and exFAT result pages share.

struct ShortName {
    std::string name;
    std::string extension;  // lower case
};

// Short names and extensions are lower-cased byte by byte, leaving non-ASCII characters as they are.
std::string LowerAscii(std::string text);

// "%d Byte" below 1024, "%.2f KB", and "%.2f MB" once the kilobytes exceed 1024.
std::string FatSizeText(std::uint32_t size);

// "H-" when hidden, "R-" when read-only else "RW-", "S-" when system, trailing '-' stripped.
std::string AttributeText(std::uint8_t attributes);

// Splits a long name at its last '.' after the first character: the part before, and the extension
// lower-cased and cut to 4 characters. Without such a '.', the name stays whole and the extension is
// `fallbackExtension`.
ShortName SplitLongName(const std::string& longName, const std::string& fallbackExtension);

}  // namespace lumacore
