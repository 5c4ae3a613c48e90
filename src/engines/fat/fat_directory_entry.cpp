#include "engines/fat/fat_directory_entry.h"

#include "core/utf8.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <string_view>

namespace lumacore {

namespace {

bool IsNameCharacter(std::uint8_t c) {
    if (c < 0x20 || c > 0x7E) return false;
    return std::string_view("\"*/:<>?\\|").find(static_cast<char>(c)) == std::string_view::npos;
}

// Name bytes 1..7 and (for files) the three extension bytes must be characters an 8.3 name can hold.
bool ShortNameCharactersValid(const FatDirEntry& entry, bool isFolder) {
    if (!isFolder) {
        for (std::size_t i = 8; i < 11; ++i) {
            if (!IsNameCharacter(entry.byte(i))) return false;
        }
    }
    for (std::size_t i = 1; i < 8; ++i) {
        if (!IsNameCharacter(entry.byte(i))) return false;
    }
    return true;
}

// A date is plausible when its year lies between 1980 and next year and its month is at most 12
// (month 0 and any day pass, as some systems write them).
bool DatePlausible(std::uint16_t date, int currentYear) {
    const int yearsSince1980 = date >> 9;
    const int month = (date >> 5) & 0x0F;
    return yearsSince1980 <= currentYear - 1980 + 1 && month <= 12;
}

std::string Trim(std::string text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

bool StartsWithDotEntries(std::span<const std::byte> cluster) {
    return cluster.size() >= 2 * kDirEntrySize && cluster[0] == std::byte{'.'} &&
           cluster[32] == std::byte{'.'} && cluster[33] == std::byte{'.'};
}

ShortName BuildShortName(const FatDirEntry& entry) {
    std::string name(8, ' ');
    std::string extension(3, ' ');
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint8_t c = entry.byte(i);
        name[i] = IsNameCharacter(c) ? static_cast<char>(c) : ' ';
    }
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint8_t c = entry.byte(8 + i);
        extension[i] = IsNameCharacter(c) ? static_cast<char>(c) : ' ';
    }
    if (entry.isDeleted()) name[0] = '#';
    ShortName result{Trim(name), LowerAscii(Trim(extension))};
    if (result.name.empty()) result.name = "_";
    return result;
}

void LongNameAccumulator::AddPiece(const FatDirEntry& entry) {
    const std::uint8_t checksum = entry.byte(13);
    if (checksum != lastChecksum_) units_.clear();
    lastChecksum_ = checksum;
    if (units_.empty()) firstSequence_ = entry.byte(0);
    static constexpr std::size_t kUnitOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::u16string piece;
    for (std::size_t at : kUnitOffsets) {
        const char16_t unit = entry.u16(at);
        if (unit != 0x0000 && unit != 0xFFFF) piece.push_back(unit);
    }
    units_.insert(0, piece);
}

std::string LongNameAccumulator::Text() const {
    return Utf16ToUtf8(units_, U'_');
}

bool IsPlausibleEntry(const FatDirEntry& entry, const FatGeometry& geometry, bool isFolder, bool hasLongName,
                      int currentYear) {
    if (entry.isFree()) return false;
    if (geometry.kind == FatKind::Fat32) {
        if (entry.highCluster() > std::uint64_t{geometry.bytesPerSector} * geometry.sectorsPerFat / 262144)
            return false;
        return hasLongName || ShortNameCharactersValid(entry, isFolder);
    }
    const std::uint32_t cluster = entry.lowCluster();
    // An empty file owns no cluster: its first cluster is 0, and it is still a file worth listing.
    const bool emptyFile = cluster == 0 && !isFolder && entry.size() == 0;
    if ((cluster < 1 && !emptyFile) || cluster > geometry.HighestPlausibleCluster()) return false;
    if (!hasLongName && !ShortNameCharactersValid(entry, isFolder)) return false;
    return DatePlausible(entry.creationDate(), currentYear) &&
           DatePlausible(entry.lastWriteDate(), currentYear) &&
           DatePlausible(entry.lastAccessDate(), currentYear);
}

bool IsDirectorySector(std::span<const std::byte> sector, const FatGeometry& geometry, int currentYear) {
    const std::size_t entries = std::min<std::size_t>(sector.size(), geometry.bytesPerSector) / kDirEntrySize;
    if (entries >= 2) {
        const std::string_view dot(".          ", 11);
        bool dots = true;
        for (std::size_t i = 0; i < 8 && dots; ++i) {
            dots = sector[i] == static_cast<std::byte>(dot[i]) &&
                   sector[32 + i] == static_cast<std::byte>(i < 2 ? '.' : ' ');
        }
        if (dots) return true;
    }

    std::size_t sound = 0;
    bool allSound = true;
    bool endSeen = false;
    int expectedSequence = -1;
    std::set<std::string> namesSeen;
    for (std::size_t i = 0; i < entries; ++i) {
        const FatDirEntry entry = EntryAt(sector, i);
        if (entry.isFree()) {
            if (i < 2) return false;
            endSeen = true;
            continue;
        }
        const std::uint8_t attr = entry.attributes();
        const bool attrAllowed = attr <= 0x08 || (attr >= 0x0F && attr <= 0x17) ||
                                 (attr >= 0x20 && attr <= 0x27) || (attr >= 0x30 && attr <= 0x37);
        bool ok = attrAllowed;
        if (ok && attr == fat_attr::kLongName) {
            ok = entry.lowCluster() == 0;
            if (ok && !entry.isDeleted()) {
                const int sequence = entry.byte(0);
                if (expectedSequence < 0) {
                    expectedSequence = sequence - 0x40;
                } else {
                    ok = sequence == expectedSequence - 1;
                    expectedSequence = sequence;
                }
            }
        } else if (ok && attr == fat_attr::kVolumeLabel) {
            expectedSequence = -1;
            ok = entry.size() == 0;
        } else if (ok && (attr & fat_attr::kReadOnly)) {
            expectedSequence = -1;
            ok = entry.byte(8) != 0 && entry.byte(9) != 0 && entry.byte(10) != 0;
            for (std::size_t k = 0; k < 8 && ok; ++k) {
                if (entry.byte(k) == 0) allSound = false;
            }
        } else if (ok) {
            expectedSequence = -1;
            const std::uint16_t creationTime = entry.creationTime();
            const std::uint32_t cluster =
                geometry.kind == FatKind::Fat32 ? entry.firstCluster32() : std::uint32_t{entry.lowCluster()};
            ok = DatePlausible(entry.creationDate(), currentYear) &&
                 DatePlausible(entry.lastWriteDate(), currentYear) &&
                 DatePlausible(entry.lastAccessDate(), currentYear) && (creationTime >> 11) < 25 &&
                 ((creationTime >> 5) & 0x3F) < 60 && (entry.lastWriteTime() >> 11) < 25 &&
                 ShortNameCharactersValid(entry, false) && cluster <= geometry.HighestPlausibleCluster();
            if (ok && !entry.isDeleted()) {
                // The entry's text runs from its first byte up to the first zero byte, inside the entry.
                std::string text;
                for (std::size_t k = 0; k < kDirEntrySize && entry.byte(k) != 0; ++k) {
                    text.push_back(static_cast<char>(entry.byte(k)));
                }
                ok = namesSeen.insert(text).second;
            }
        }
        if (!ok) {
            allSound = false;
            break;
        }
        ++sound;
    }
    if (sound == 0) return false;
    return allSound || endSeen;
}

int CurrentLocalYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

}  // namespace lumacore
