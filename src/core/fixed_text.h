#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace lumacore {

// Fixed-size NUL-terminated text fields of the stored records (labels, names, models). Setting a text
// longer than the field keeps the first N-1 bytes so the field always ends with a NUL.
template <std::size_t N>
void SetFixedText(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
}

template <std::size_t N>
std::string FixedText(const std::array<char, N>& field) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string(field.data(), n);
}

// Escapes bytes that are not printable ASCII as \xNN, for messages that quote disk bytes.
std::string PrintableBytes(std::string_view text);

}  // namespace lumacore
