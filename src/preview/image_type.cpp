#include "preview/image_type.h"

#include <array>
#include <cctype>

namespace lumacore {

namespace {

struct NameRule {
    int code;
    std::array<std::string_view, 3> lastThree;
    std::string_view lastFour;
};

constexpr std::array<NameRule, 15> kRules{{
    {1, {"bmp"}, {}},
    {2, {"gif"}, {}},
    {3, {"jpg"}, "jpeg"},
    {4, {"png"}, {}},
    {5, {"ico"}, {}},
    {6, {"tif"}, "tiff"},
    {7, {"tga"}, {}},
    {8, {"pcx"}, {}},
    {9, {}, "wbmp"},
    {10, {"wmf", "emf"}, {}},
    {11, {"j2k", "jp2"}, {}},
    {12, {"j2c", "jpc"}, {}},
    {13, {"pgx"}, {}},
    {14, {"pnm", "pgm", "ppm"}, {}},
    {15, {"ras"}, {}},
}};

}  // namespace

bool EndsWithNoCase(std::string_view name, std::string_view tail) {
    if (tail.empty() || name.size() < tail.size()) return false;
    const std::string_view end = name.substr(name.size() - tail.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(end[i])) != tail[i]) return false;
    }
    return true;
}

int ImageTypeFromName(std::string_view name) {
    for (const NameRule& rule : kRules) {
        for (std::string_view three : rule.lastThree) {
            if (EndsWithNoCase(name, three)) return rule.code;
        }
        if (EndsWithNoCase(name, rule.lastFour)) return rule.code;
    }
    return 0;
}

}  // namespace lumacore
