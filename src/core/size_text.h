#pragma once

#include <cstdint>
#include <string>

namespace lumacore {

// Sizes are shown in binary units (1 KB = 1024 bytes) with two decimals. The value starts as
// kilobytes = (bytes mod 1024) / 1024 + bytes div 1024 and moves up to MB and then GB while it is
// 1024 or more.
struct ScaledSize {
    double value = 0;
    const char* unit = "KB";  // "KB", "MB" or "GB"
};

ScaledSize ScaleSize(std::uint64_t bytes);

// "%.2f KB" / "%.2f MB" / "%.2f GB" by the rule above.
std::string SizeText(std::uint64_t bytes);

// The result pages' totals: "%d files - %.2f Byte" (or KB, MB, GB, each step once the value reaches 1024).
std::string TotalsText(std::uint64_t count, std::uint64_t bytes);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace lumacore
