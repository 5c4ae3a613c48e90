#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/dos_file_text.h"
#include "engines/fat/fat_boot_sector.h"

namespace lumacore {

constexpr std::size_t kDirEntrySize = 32;
constexpr std::uint8_t kDeletedMark = 0xE5;

namespace fat_attr {
constexpr std::uint8_t kReadOnly = 0x01;
constexpr std::uint8_t kHidden = 0x02;
constexpr std::uint8_t kSystem = 0x04;
constexpr std::uint8_t kVolumeLabel = 0x08;
constexpr std::uint8_t kDirectory = 0x10;
constexpr std::uint8_t kLongName = 0x0F;
}  // namespace fat_attr

// One 32-byte directory entry, decoded field by field.
struct FatDirEntry {
    std::span<const std::byte, kDirEntrySize> bytes;

    explicit FatDirEntry(std::span<const std::byte, kDirEntrySize> raw) : bytes(raw) {}
    std::uint8_t byte(std::size_t i) const { return std::to_integer<std::uint8_t>(bytes[i]); }
    std::uint16_t u16(std::size_t i) const {
        return static_cast<std::uint16_t>(byte(i) | (byte(i + 1) << 8));
    }
    std::uint32_t u32(std::size_t i) const { return u16(i) | (std::uint32_t{u16(i + 2)} << 16); }

    std::uint8_t attributes() const { return byte(11); }
    bool isFree() const { return byte(0) == 0x00; }
    bool isDeleted() const { return byte(0) == kDeletedMark; }
    bool isLongName() const { return attributes() == fat_attr::kLongName; }
    bool isVolumeLabel() const { return attributes() == fat_attr::kVolumeLabel; }
    bool isDirectory() const { return (attributes() & fat_attr::kDirectory) != 0; }
    std::uint16_t creationTime() const { return u16(14); }
    std::uint16_t creationDate() const { return u16(16); }
    std::uint16_t lastAccessDate() const { return u16(18); }
    std::uint16_t highCluster() const { return u16(20); }
    std::uint16_t lastWriteTime() const { return u16(22); }
    std::uint16_t lastWriteDate() const { return u16(24); }
    std::uint16_t lowCluster() const { return u16(26); }
    std::uint32_t size() const { return u32(28); }
    // High word × 65536 + low word (FAT32; on FAT12/16 the high word is 0 or meaningless).
    std::uint32_t firstCluster32() const { return (std::uint32_t{highCluster()} << 16) | lowCluster(); }
};

// The entry at index i of a directory buffer (the caller keeps i inside the buffer).
inline FatDirEntry EntryAt(std::span<const std::byte> buffer, std::size_t i) {
    return FatDirEntry(buffer.subspan(i * kDirEntrySize).first<kDirEntrySize>());
}

// True when a cluster begins with the "." and ".." entries of a subdirectory.
bool StartsWithDotEntries(std::span<const std::byte> cluster);

// Name and extension of an 8.3 entry: invalid characters become spaces, a deleted entry's first
// character becomes '#', both parts are trimmed, an empty name becomes "_".
ShortName BuildShortName(const FatDirEntry& entry);

// Gathers the pieces of a long name, which precede their short entry on disk, last piece first.
class LongNameAccumulator {
  public:
    // Adds a long-name entry; a checksum different from the previous piece's drops what was gathered.
    void AddPiece(const FatDirEntry& entry);
    void Clear() { units_.clear(); }
    bool HasName() const { return !units_.empty(); }
    const std::u16string& units() const { return units_; }
    std::uint8_t checksum() const { return lastChecksum_; }
    // Whether the first piece gathered is marked as the name's last one (a live entry's 0x40 flag):
    // then nothing of the name lies before it on disk. Deleted pieces have lost that mark.
    bool StartsWithLastPiece() const { return (firstSequence_ & 0x40) != 0 && firstSequence_ != kDeletedMark; }
    // The gathered name as UTF-8 (unpaired surrogates become '_').
    std::string Text() const;

  private:
    std::u16string units_;
    std::uint8_t lastChecksum_ = 0;
    std::uint8_t firstSequence_ = 0;
};

// The plausibility test of an entry met by the deleted-file scan. `currentYear` is the local year.
bool IsPlausibleEntry(const FatDirEntry& entry, const FatGeometry& geometry, bool isFolder, bool hasLongName,
                      int currentYear);

// Whether a buffer holding the first sector of a cluster looks like directory entries.
bool IsDirectorySector(std::span<const std::byte> sector, const FatGeometry& geometry, int currentYear);

// The current local year, read from the clock.
int CurrentLocalYear();

}  // namespace lumacore
