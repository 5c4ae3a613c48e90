#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "core/result.h"

namespace lumacore {

// A GUID as it is stored on disk (the first three fields little-endian).
using Guid = std::array<std::byte, 16>;

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B" for the stored bytes, and back (nullopt for a malformed text).
std::string GuidText(const Guid& guid);
std::optional<Guid> ParseGuid(std::string_view text);

// The common name of a partition type GUID (at most 11 characters, as a record's file-system name holds
// them), "Unknown" for a type we do not know.
const char* GptTypeName(const Guid& type);

struct GptHeader {
    std::uint32_t revision = 0x00010000;
    std::uint32_t headerSize = 92;
    std::uint64_t currentLba = 0;
    std::uint64_t backupLba = 0;
    std::uint64_t firstUsableLba = 0;
    std::uint64_t lastUsableLba = 0;
    Guid diskGuid{};
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entrySize = 0;
    std::uint32_t entriesCrc = 0;

    std::uint64_t ArrayBytes() const { return std::uint64_t{entryCount} * entrySize; }
    std::uint64_t ArraySectors() const { return (ArrayBytes() + 511) / 512; }
};

struct GptEntry {
    std::uint32_t index = 0;  // place in the entry array
    Guid typeGuid{};
    Guid uniqueGuid{};
    std::uint64_t firstLba = 0;
    std::uint64_t lastLba = 0;  // inclusive
    std::uint64_t attributes = 0;
    std::string name;  // UTF-8
};

// One GPT as read from a disk: the header that was used, its entry array as stored, and the used entries.
struct GptTable {
    GptHeader header;
    bool fromBackup = false;  // the primary header or its array was damaged
    std::string damage;       // why the primary was not used
    std::vector<std::byte> array;
    std::vector<GptEntry> entries;
};

// An entry array larger than this is corrupt: tools write 128 entries of 128 bytes (16 KiB) and the
// format's own upper end in practice is a few hundred KiB.
constexpr std::uint64_t kMaxGptArrayBytes = std::uint64_t{1} << 20;

// Whether a master boot record holds the protective entry (type 0xEE) of a GPT disk.
bool HasProtectiveEntry(std::span<const std::byte> mbr);

// Decodes a header sector read at `lba`; nullopt (with the reason) when the signature, size, checksum,
// own position or usable range is wrong for a disk of `diskSectors`.
std::optional<GptHeader> DecodeGptHeader(std::span<const std::byte> sector, std::uint64_t lba,
                                         std::uint64_t diskSectors, std::string& why);
// Encodes a header into a zeroed 512-byte sector with its checksum.
void EncodeGptHeader(const GptHeader& header, std::span<std::byte> sector);

// The used entries of an entry array; entries whose range is reversed or outside the usable sectors are
// left out.
std::vector<GptEntry> DecodeGptEntries(std::span<const std::byte> array, const GptHeader& header);
// Writes one entry into its slot of an entry array.
void EncodeGptEntry(const GptEntry& entry, std::span<std::byte> array, std::uint32_t entrySize);

// Reads the primary header and array at LBA 1, or the backup ones at the disk's last sector when the
// primary header or its array fails its checks.
Result<GptTable> ReadGpt(ByteSource& disk, std::uint64_t diskSectors);

}  // namespace lumacore
