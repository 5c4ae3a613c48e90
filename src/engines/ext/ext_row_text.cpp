#include "engines/ext/ext_row_text.h"

#include <ctime>

#include "core/dos_date.h"
#include "core/size_text.h"

namespace lumacore {

namespace {

// EXT stores UTC seconds; like NTFS times they are shown in the machine's local time.
bool ToLocal(std::uint32_t unixTime, std::tm& local) {
    const auto moment = static_cast<std::time_t>(unixTime);
    return localtime_r(&moment, &local) != nullptr;
}

}  // namespace

std::string ExtRowName(const ExtFileNode& node) {
    if (node.name == kExtUnknownName) return Format("inode(%08X)", node.inodeNumber);
    return node.name;
}

std::string ExtSizeText(std::uint64_t size) {
    const double value = static_cast<double>(size);
    if (size < 1024) return Format("%llu B", static_cast<unsigned long long>(size));
    if (size <= 0xFFFFF) return Format("%5.2f KB", value / 1024.0);
    if (size > 0x3FFFFFFF) return Format("%5.2f GB", value / 1073741824.0);
    return Format("%5.2f MB", value / 1048576.0);
}

std::string ExtPermissionText(std::uint16_t mode) {
    std::string text = "------";
    static constexpr struct {
        std::uint16_t bit;
        char letter;
    } kBits[] = {{0400, 'r'}, {0200, 'w'}, {0100, 'x'}, {040, 'r'}, {020, 'w'}, {010, 'x'}};
    for (std::size_t i = 0; i < 6; ++i) {
        if ((mode & kBits[i].bit) != 0) text[i] = kBits[i].letter;
    }
    return text;
}

std::string ExtTimeText(std::uint32_t unixTime) {
    std::tm t{};
    if (!ToLocal(unixTime, t)) return {};
    return Format("%d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
}

std::uint16_t ExtDosDate(std::uint32_t unixTime) {
    std::tm t{};
    if (!ToLocal(unixTime, t)) return 0;
    return DosDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

}  // namespace lumacore
