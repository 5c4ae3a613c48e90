#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumacore {

constexpr std::size_t kExfatEntrySize = 32;

// Directory entry type bytes. Bit 7 is the in-use bit: deleting a file clears it in every entry of
// the file's set and leaves the rest of the entries as they were.
namespace exfat_type {
constexpr std::uint8_t kInUse = 0x80;
constexpr std::uint8_t kEndOfDirectory = 0x00;
constexpr std::uint8_t kBitmap = 0x81;
constexpr std::uint8_t kUpcase = 0x82;
constexpr std::uint8_t kVolumeLabel = 0x83;
constexpr std::uint8_t kFile = 0x85;
constexpr std::uint8_t kVolumeGuid = 0xA0;
constexpr std::uint8_t kStream = 0xC0;
constexpr std::uint8_t kFileName = 0xC1;
constexpr std::uint8_t kSecondaryBit = 0x40;  // set in every secondary entry's type
}  // namespace exfat_type

namespace exfat_attr {
constexpr std::uint16_t kReadOnly = 0x01;
constexpr std::uint16_t kHidden = 0x02;
constexpr std::uint16_t kSystem = 0x04;
constexpr std::uint16_t kDirectory = 0x10;
}  // namespace exfat_attr

// A timestamp as stored: a DOS date in the high 16 bits and a DOS time in the low 16 bits, plus the
// hundredths past the even second (0..199) and the UTC offset byte (bit 7 = valid, bits 0..6 = signed
// count of 15-minute steps).
struct ExfatTimestamp {
    std::uint32_t raw = 0;
    std::uint8_t tenMs = 0;
    std::uint8_t utcOffset = 0;

    std::uint16_t dosDate() const { return static_cast<std::uint16_t>(raw >> 16); }
    std::uint16_t dosTime() const { return static_cast<std::uint16_t>(raw & 0xFFFF); }
    bool hasUtcOffset() const { return (utcOffset & 0x80) != 0; }
    // Minutes east of UTC; 0 when the offset is not recorded.
    int utcOffsetMinutes() const;
};

// One file's directory entry set: the file entry, its stream extension and its file name entries.
struct ExfatEntrySet {
    bool inUse = false;
    std::uint16_t attributes = 0;
    ExfatTimestamp created;
    ExfatTimestamp modified;
    ExfatTimestamp accessed;
    bool noFatChain = false;  // the data lies in consecutive clusters and the FAT holds no chain for it
    std::uint64_t validDataLength = 0;
    std::uint64_t dataLength = 0;
    std::uint32_t firstCluster = 0;
    std::uint16_t nameHash = 0;
    std::u16string name;
    std::size_t entryCount = 0;  // entries the set occupies, the file entry included

    bool isDirectory() const { return (attributes & exfat_attr::kDirectory) != 0; }
};

// The set checksum over a set's entries (the file entry's own checksum field left out). The in-use bit
// of every type byte is counted as set, so that a deleted set checks against the sum written while it
// was in use.
std::uint16_t ExfatSetChecksum(std::span<const std::byte> setEntries);

enum class EntrySetFault { None, NotAFileEntry, Truncated, Malformed, BadChecksum };

// Decodes the set whose file entry is entry `index` of `entries`. Its secondaries must follow in the
// same buffer, carry the same in-use bit, and hold a stream extension first and enough name entries
// for the name length; the set checksum must match.
std::optional<ExfatEntrySet> DecodeEntrySet(std::span<const std::byte> entries, std::size_t index,
                                            EntrySetFault* fault = nullptr);

inline std::uint8_t EntryType(std::span<const std::byte> entries, std::size_t index) {
    return std::to_integer<std::uint8_t>(entries[index * kExfatEntrySize]);
}

// Whether a buffer (a cluster, or the start of one) holds directory entries: from the first entry to
// the end-of-directory mark, every type byte is one a directory holds, and whole file entry sets that
// pass their checksum outnumber the broken ones.
bool LooksLikeExfatDirectory(std::span<const std::byte> entries);

// A cheap first look at the start of a cluster (its first sector, say): true when it begins with a
// directory entry and holds nothing but directory entry types up to the end-of-directory mark.
bool MayBeginExfatDirectory(std::span<const std::byte> entries);

}  // namespace lumacore
