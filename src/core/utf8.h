#pragma once

#include <string>
#include <string_view>

namespace lumacore {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-16 (names on FAT and NTFS volumes) to UTF-8. Surrogate pairs become one character; a surrogate
// without its partner becomes `unpaired`.
std::string Utf16ToUtf8(std::u16string_view text, char32_t unpaired = U'\uFFFD');

}  // namespace lumacore
