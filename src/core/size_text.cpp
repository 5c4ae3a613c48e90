#include "core/size_text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace lumacore {

ScaledSize ScaleSize(std::uint64_t bytes) {
    ScaledSize s;
    s.value = static_cast<double>(bytes % 1024) / 1024.0 + static_cast<double>(bytes / 1024);
    s.unit = "KB";
    if (s.value >= 1024.0) {
        s.value /= 1024.0;
        s.unit = "MB";
        if (s.value >= 1024.0) {
            s.value /= 1024.0;
            s.unit = "GB";
        }
    }
    return s;
}

std::string SizeText(std::uint64_t bytes) {
    const ScaledSize s = ScaleSize(bytes);
    return Format("%.2f %s", s.value, s.unit);
}

std::string TotalsText(std::uint64_t count, std::uint64_t bytes) {
    double value = static_cast<double>(bytes);
    const char* unit = "Byte";
    for (const char* next : {"KB", "MB", "GB"}) {
        if (value < 1024.0) break;
        value /= 1024.0;
        unit = next;
    }
    return Format("%llu files - %.2f %s", static_cast<unsigned long long>(count), value, unit);
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

}  // namespace lumacore
