// OLE2 compound files (DOC, XLS, PPT, MSG, MSI, VSD, ...): the file allocation table lists every sector
// in use, so the file ends after the highest one that is not free. The names in the root storage tell
// which application wrote it.
#include <array>
#include <string>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFFu;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::uint32_t kHeaderDifat = 109;
// Directory sectors read for names; the root's children come first.
constexpr int kMaxDirectorySectors = 64;

struct Layout {
    std::uint32_t sectorSize = 512;
    std::uint64_t SectorAt(std::uint32_t n) const { return (std::uint64_t{n} + 1) * sectorSize; }
};

std::string_view NameExtension(const std::u16string& name) {
    if (name == u"WordDocument") return "doc";
    if (name == u"Workbook" || name == u"Book") return "xls";
    if (name == u"PowerPoint Document") return "ppt";
    if (name == u"VisioDocument") return "vsd";
    if (name.starts_with(u"__substg1.0_")) return "msg";
    return {};
}

}  // namespace

FormatVerdict ParseOle2(CarveInput& in) {
    if (in.U64be(0) != 0xD0CF11E0A1B11AE1ull) return FormatVerdict::Reject();
    const auto major = in.U16le(26);
    const auto order = in.U16le(28);
    const auto shift = in.U16le(30);
    const auto miniShift = in.U16le(32);
    const auto fatSectors = in.U32le(44);
    const auto firstDirectory = in.U32le(48);
    const auto firstDifat = in.U32le(68);
    const auto difatSectors = in.U32le(72);
    if (!major || !order || !shift || !miniShift || !fatSectors || !firstDirectory || !firstDifat ||
        !difatSectors) {
        return FormatVerdict::Unknown();
    }
    if (*order != 0xFFFE || !((*major == 3 && *shift == 9) || (*major == 4 && *shift == 12)) ||
        *miniShift != 6) {
        return FormatVerdict::Reject();
    }
    Layout layout;
    layout.sectorSize = 1u << *shift;
    const std::uint32_t perSector = layout.sectorSize / 4;
    // A FAT sector covers perSector sectors; more FAT sectors than the reachable bytes could need is a lie.
    const std::uint64_t reachableSectors = in.limit() / layout.sectorSize + 1;
    if (*fatSectors == 0 || std::uint64_t{*fatSectors} > reachableSectors / perSector + 1) {
        return *fatSectors == 0 ? FormatVerdict::Reject() : FormatVerdict::Unknown();
    }
    // Walk the DIFAT: the header's 109 slots, then the chain of DIFAT sectors.
    std::uint64_t highest = 0;
    bool any = false;
    std::uint32_t fatSeen = 0;
    std::uint32_t nextDifat = *firstDifat;
    std::uint32_t difatSeen = 0;
    auto walkFatSector = [&](std::uint32_t fatSector) -> bool {
        highest = std::max<std::uint64_t>(highest, fatSector);
        const std::uint64_t at = layout.SectorAt(fatSector);
        const auto bytes = in.Window(at, layout.sectorSize);
        if (bytes.size() < layout.sectorSize) return false;
        for (std::uint32_t i = 0; i < perSector; ++i) {
            const std::uint32_t value = std::to_integer<std::uint32_t>(bytes[4 * i]) |
                                        std::to_integer<std::uint32_t>(bytes[4 * i + 1]) << 8 |
                                        std::to_integer<std::uint32_t>(bytes[4 * i + 2]) << 16 |
                                        std::to_integer<std::uint32_t>(bytes[4 * i + 3]) << 24;
            if (value != kFree) {
                highest = std::max<std::uint64_t>(highest, std::uint64_t{fatSeen} * perSector + i);
                any = true;
            }
        }
        ++fatSeen;
        return true;
    };
    for (std::uint32_t slot = 0; slot < kHeaderDifat && fatSeen < *fatSectors; ++slot) {
        const auto fatSector = in.U32le(76 + 4ull * slot);
        if (!fatSector) return FormatVerdict::Unknown();
        if (*fatSector >= reachableSectors) return FormatVerdict::Unknown();
        if (!walkFatSector(*fatSector)) return FormatVerdict::Unknown();
    }
    while (fatSeen < *fatSectors && nextDifat != kEndOfChain && nextDifat != kFree) {
        if (difatSeen++ > *difatSectors || nextDifat >= reachableSectors) return FormatVerdict::Unknown();
        highest = std::max<std::uint64_t>(highest, nextDifat);
        const std::uint64_t at = layout.SectorAt(nextDifat);
        for (std::uint32_t slot = 0; slot + 1 < perSector && fatSeen < *fatSectors; ++slot) {
            const auto fatSector = in.U32le(at + 4ull * slot);
            if (!fatSector || *fatSector >= reachableSectors) return FormatVerdict::Unknown();
            if (!walkFatSector(*fatSector)) return FormatVerdict::Unknown();
        }
        const auto next = in.U32le(at + layout.sectorSize - 4);
        if (!next) return FormatVerdict::Unknown();
        nextDifat = *next;
    }
    if (!any) return FormatVerdict::Reject();
    // Names of the first directory entries (the root's streams), following the directory's chain in
    // the FAT read sector by sector.
    std::string_view extension;
    std::uint32_t directory = *firstDirectory;
    for (int sectors = 0; sectors < kMaxDirectorySectors && directory < reachableSectors && extension.empty();
         ++sectors) {
        const std::uint64_t at = layout.SectorAt(directory);
        for (std::uint32_t e = 0; e < layout.sectorSize / 128 && extension.empty(); ++e) {
            const auto nameBytes = in.U16le(at + 128ull * e + 64);
            if (!nameBytes || *nameBytes < 2 || *nameBytes > 64) continue;
            std::u16string name;
            for (std::uint32_t c = 0; c + 2 < *nameBytes; c += 2) {
                const auto unit = in.U16le(at + 128ull * e + c);
                if (!unit) break;
                name.push_back(static_cast<char16_t>(*unit));
            }
            extension = NameExtension(name);
        }
        const std::uint64_t fatSector = directory / perSector;
        if (fatSector >= kHeaderDifat) break;
        const auto fatAt = in.U32le(76 + 4 * fatSector);
        if (!fatAt) break;
        const auto next = in.U32le(layout.SectorAt(*fatAt) + 4ull * (directory % perSector));
        if (!next) break;
        directory = *next;
    }
    return FormatVerdict::Length(
        layout.SectorAt(static_cast<std::uint32_t>(std::min<std::uint64_t>(highest, 0xFFFFFFF0u))) +
            layout.sectorSize,
        extension);
}

}  // namespace lumacore::formats
