#include "engines/fat/fat_name_seams.h"

namespace lumacore {

namespace {

std::uint8_t ShortNameChecksum(const std::array<std::uint8_t, 11>& name) {
    std::uint8_t sum = 0;
    for (const std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

void FatNameSeams::AddTrailing(const FatEntryReader::NameSeam& seam, std::uint64_t owner) {
    if (!seam.present || !byOwner_.emplace(owner, seam).second) return;
    byChecksum_.emplace(seam.checksum, owner);
    if (!seam.units.empty()) {
        byChecksumAndLetter_.emplace(std::uint32_t{seam.checksum} << 16 | UpperAscii(seam.units.front()), owner);
    }
}

std::uint64_t FatNameSeams::Match(const FatEntryReader::NameSeam& leading, std::uint64_t self) const {
    if (!leading.present) return kNone;
    std::uint64_t found = kNone;
    bool several = false;
    // `firstByte` 0: any trailing part with the checksum; else only one whose name starts with that
    // letter. A second candidate ends the search: the answer is then "none" anyway.
    auto consider = [&](std::uint8_t checksum, std::uint8_t firstByte) {
        auto check = [&](auto range) {
            for (auto it = range.first; it != range.second && !several; ++it) {
                if (it->second == self) continue;
                if (found != kNone && found != it->second) several = true;
                found = it->second;
            }
        };
        if (firstByte == 0) {
            check(byChecksum_.equal_range(checksum));
        } else {
            check(byChecksumAndLetter_.equal_range(std::uint32_t{checksum} << 16 | firstByte));
        }
    };
    if (!leading.bare) {
        consider(leading.checksum, 0);
    } else if (leading.shortName[0] != kDeletedMark) {
        consider(ShortNameChecksum(leading.shortName), 0);
    } else {
        // A deleted short name lost its first letter; an 8.3 name made from a long one starts with that
        // name's first letter in upper case, so each letter is tried against the names that start with it.
        std::array<std::uint8_t, 11> name = leading.shortName;
        for (std::uint8_t c = 0x21; c < 0x7F && !several; ++c) {
            if (c >= 'a' && c <= 'z') continue;
            name[0] = c;
            consider(ShortNameChecksum(name), c);
        }
    }
    return several ? kNone : found;
}

void FatNameSeams::Rename(FatFileNode& node, const FatEntryReader::NameSeam& leading,
                          const FatEntryReader::NameSeam& trailing) {
    node.displayName = FatEntryReader::JoinSeam(leading, trailing);
    node.extension = SplitLongName(node.displayName, node.extension).extension;
}

}  // namespace lumacore
