#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace lumacore {

// The file-information dump: one row per 16 bytes, rows joined by CR LF with no break after the last.
// A row is the offset as eight upper-case hexadecimal digits and two blanks, each byte as two upper-case
// digits and a blank (one more blank after every 4th byte), one blank, then the bytes as characters:
// letters, digits and 31 signs as themselves, everything else (blank, quotes, controls, bytes above
// 127) as ".". A short last row shows only its bytes; no bytes give an empty text.
std::string HexDumpText(std::span<const std::byte> bytes);

}  // namespace lumacore
