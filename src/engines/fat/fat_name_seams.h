#pragma once

#include <cstdint>
#include <unordered_map>

#include "engines/fat/fat_entry_reader.h"

namespace lumacore {

// Long names cut where a folder's clusters are read apart: the clusters whose last entries are pieces
// of a name, by the name's checksum, so that the cluster holding the rest of the name finds them.
class FatNameSeams {
  public:
    static constexpr std::uint64_t kNone = UINT64_MAX;

    // A buffer read for `owner` (a caller's number for a folder or a run) ended with these pieces.
    void AddTrailing(const FatEntryReader::NameSeam& seam, std::uint64_t owner);

    // The one owner whose buffer ended with the other part of the name that `leading` began with
    // (never `self`); kNone when there is none, or more than one, so a guess never renames a file.
    std::uint64_t Match(const FatEntryReader::NameSeam& leading, std::uint64_t self) const;
    const FatEntryReader::NameSeam& Trailing(std::uint64_t owner) const { return byOwner_.at(owner); }

    // Gives a file the whole name, and the extension that goes with it.
    static void Rename(FatFileNode& node, const FatEntryReader::NameSeam& leading,
                       const FatEntryReader::NameSeam& trailing);

  private:
    std::unordered_multimap<std::uint8_t, std::uint64_t> byChecksum_;
    // By checksum << 16 | the name's first unit in upper case, for short entries that lost byte 0.
    std::unordered_multimap<std::uint32_t, std::uint64_t> byChecksumAndLetter_;
    std::unordered_map<std::uint64_t, FatEntryReader::NameSeam> byOwner_;
};

}  // namespace lumacore
