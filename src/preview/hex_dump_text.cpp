#include "preview/hex_dump_text.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace lumacore {

namespace {

constexpr std::size_t kBytesPerRow = 16;
constexpr std::string_view kShownSigns = "~!@#$%^&*();_+|}{:?><`-=\\][\'/.,";
constexpr char kHexDigits[] = "0123456789ABCDEF";

char ShownCharacter(std::byte b) {
    const auto c = static_cast<unsigned char>(b);
    const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (alphanumeric || (c != 0 && kShownSigns.find(static_cast<char>(c)) != std::string_view::npos)) {
        return static_cast<char>(c);
    }
    return '.';
}

void AppendHex(std::string& out, std::uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

}  // namespace

std::string HexDumpText(std::span<const std::byte> bytes) {
    std::string out;
    for (std::size_t row = 0; row < bytes.size(); row += kBytesPerRow) {
        if (row != 0) out += "\r\n";
        const auto cells = bytes.subspan(row, std::min(kBytesPerRow, bytes.size() - row));
        AppendHex(out, row, 8);
        out += "  ";
        for (std::size_t i = 0; i < cells.size(); ++i) {
            AppendHex(out, static_cast<std::uint64_t>(cells[i]), 2);
            out += ' ';
            if (i % 4 == 3) out += ' ';
        }
        out += ' ';
        for (std::byte b : cells) out += ShownCharacter(b);
    }
    return out;
}

}  // namespace lumacore
