#include "core/filter.h"

#include <array>

#include "core/size_text.h"
#include "core/utf8.h"

namespace lumacore {

namespace {

struct Category {
    const char* text;
    const char* list;
};

// The lists, not the item texts, are what the filter compares, and they differ in places on purpose:
// the web list has no "html" and the image list holds more types than its item names.
constexpr std::array<Category, kFilterCategoryCount> kCategories{{
    {"All Files (*.*)", nullptr},
    {"Office Files (*.doc | *.dot | *.xls | *.xlw | *.ppt | *.docx | *.xlsx | *.pptx | *.mdb)",
     "doc.dot.xls.xlw.ppt.docx.xlsx.pptx.mdb"},
    {"Web Files (*.html | *.htm | *.htx | *.asp | *.stm | *.shtml)", "htm.htx.asp.stm.shtml"},
    {"Image Files (*.bmp | *.dib | *.gif | *.jpg | *.jpe | *.ico | *.cur | *.tif | *.png)",
     "bmp.dib.gif.jpg.jpe.png.mng.ico.cur.tif.tga.pcx.wbmp.wmf.j2k.jbg.jp2.jpc.pgx.pnm.ras"},
    {"Sound Files (*.wav | *.mp3 | *.mid | *.asf | *.wmv)", "wav.mp3.mid.asf.wmv"},
    {"Movie Files (*.avi | *.mpg | *.mp4 | *.asf | *.rm | *.rmvb | *.mov)", "avi.mpg.mp4.asf.rm.rmvb.mov"},
    {"Email Files (*.dbx | *.pst | *.box)", "dbx.pst.box"},
}};

constexpr double kBytesPerKilobyte = 1024.0;

bool IsEven(char32_t c) {
    return (c & 1) == 0;
}

// Simple (one-to-one) lower-case mappings of the scripts file names on FAT volumes mostly use. Within
// these blocks capitals either sit at a fixed distance from their small letters or alternate with them.
char32_t ToLower(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? c + 0x20 : c;  // 0xD7 is the multiply sign
    if (c < 0x180) {
        if (c == 0x130) return U'i';  // dotted capital I has no small letter of its own
        if (c == 0x178) return 0xFF;
        if ((c < 0x138 || (c >= 0x14A && c <= 0x177)) && IsEven(c)) return c + 1;
        if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !IsEven(c)) return c + 1;
        return c;
    }
    if (c >= 0x370 && c < 0x400) {
        if ((c == 0x370 || c == 0x372 || c == 0x376) || (c >= 0x3D8 && c <= 0x3EF && IsEven(c))) return c + 1;
        if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
        switch (c) {
            case 0x37F:
                return 0x3F3;
            case 0x386:
                return 0x3AC;
            case 0x388:
            case 0x389:
            case 0x38A:
                return c + 0x25;
            case 0x38C:
                return 0x3CC;
            case 0x38E:
            case 0x38F:
                return c + 0x3F;
            case 0x3CF:
                return 0x3D7;
            case 0x3F4:
                return 0x3B8;
            case 0x3F7:
                return 0x3F8;
            case 0x3F9:
                return 0x3F2;
            case 0x3FA:
                return 0x3FB;
            case 0x3FD:
            case 0x3FE:
            case 0x3FF:
                return c - 0x82;
            default:
                return c;
        }
    }
    if (c >= 0x400 && c < 0x530) {
        if (c < 0x410) return c + 0x50;
        if (c < 0x430) return c + 0x20;
        if (c == 0x4C0) return 0x4CF;
        if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) && IsEven(c))
            return c + 1;
        if (c >= 0x4C1 && c <= 0x4CE && !IsEven(c)) return c + 1;
        return c;
    }
    if (c >= 0x1E00 && c <= 0x1EFF) {
        if (c == 0x1E9E) return 0xDF;  // capital sharp s
        if ((c <= 0x1E95 || c >= 0x1EA0) && IsEven(c)) return c + 1;
        return c;
    }
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;  // full-width Latin
    return c;
}

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at text[at] and its code point, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t DecodeAt(std::string_view text, std::size_t at, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range the second byte must fall in
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3Fu);
    }
    return length;
}

bool PassesExtension(std::string_view extension, const FilterSettings& filter) {
    if (filter.category < 1) return true;
    const std::string wanted = LowerCaseUtf8(extension);
    std::string_view rest = filter.extensionList;
    for (;;) {
        const std::size_t dot = rest.find('.');
        if (rest.substr(0, dot) == wanted) return true;
        if (dot == std::string_view::npos) return false;
        rest.remove_prefix(dot + 1);
    }
}

bool PassesDate(std::uint16_t date, const FilterSettings& filter) {
    // The 32-bit slot only ever holds a 16-bit DOS date; whatever sits above it is not part of the date.
    const auto wanted = static_cast<std::uint16_t>(filter.date);
    switch (filter.dateMode) {
        case FilterSettings::kDateBefore:
            return date < wanted;
        case FilterSettings::kDateAfter:
            return date > wanted;
        case FilterSettings::kDateOn:
            return date == wanted;
        default:
            return true;
    }
}

bool PassesSize(std::uint64_t size, const FilterSettings& filter) {
    const double bytes = static_cast<double>(size);
    const double lower = filter.sizeValue1 * kBytesPerKilobyte;
    switch (filter.sizeMode) {
        case FilterSettings::kSizeEqual:
            // "Equal" means equal as the size column shows it: kilobytes with two decimals.
            return Format("%.2f", filter.sizeValue1) == Format("%.2f", bytes / kBytesPerKilobyte);
        case FilterSettings::kSizeSmaller:
            return bytes < lower;
        case FilterSettings::kSizeLarger:
            return bytes > lower;
        case FilterSettings::kSizeBetween:
            // An upper value of 0 (the box left empty) or one below the lower value cannot bound
            // anything the user meant, so it is read as "no upper bound" rather than as a range that
            // nothing passes. An upper value equal to the lower one is kept: that range is empty.
            if (filter.sizeValue2 <= 0 || filter.sizeValue2 < filter.sizeValue1) return bytes > lower;
            return bytes > lower && bytes <= filter.sizeValue2 * kBytesPerKilobyte;
        default:
            return true;
    }
}

bool PassesName(std::string_view name, const FilterSettings& filter) {
    if (filter.nameText.empty()) return true;
    return LowerCaseUtf8(name).find(LowerCaseUtf8(filter.nameText)) != std::string::npos;
}

}  // namespace

std::string LowerCaseUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeAt(text, at, c);
        if (length == 0) {
            out.push_back(text[at++]);  // not UTF-8: the byte stands for itself
            continue;
        }
        const char32_t lower = ToLower(c);
        if (lower == c) {
            out.append(text.substr(at, length));
        } else {
            AppendUtf8(out, lower);
        }
        at += length;
    }
    return out;
}

bool PassesFilter(const FilterSubject& file, FilterSettings filter) {
    return PassesExtension(file.extension, filter) && PassesDate(file.creationDate, filter) &&
           PassesSize(file.size, filter) && PassesName(file.displayName, filter);
}

const char* FilterCategoryText(int category) {
    if (category < 0 || category >= kFilterCategoryCount) return "";
    return kCategories[static_cast<std::size_t>(category)].text;
}

const char* FilterCategoryList(int category) {
    if (category < 0 || category >= kFilterCategoryCount) return nullptr;
    return kCategories[static_cast<std::size_t>(category)].list;
}

}  // namespace lumacore
