#include "disk/gpt_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/byte_reader.h"
#include "core/crc32.h"
#include "core/utf8.h"

namespace lumacore {

namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint8_t kProtectiveType = 0xEE;
constexpr std::uint32_t kMinHeaderSize = 92;
constexpr std::uint32_t kMinEntrySize = 128;
// Entries are 128 bytes times a power of two; anything above a sector's worth is not written by anyone.
constexpr std::uint32_t kMaxEntrySize = 4096;
constexpr std::size_t kNameOffset = 56;
constexpr std::size_t kNameBytes = 72;

Guid GuidAt(const ByteReader& r, std::size_t at) {
    Guid guid{};
    const auto bytes = r.bytes().subspan(at, guid.size());
    std::copy(bytes.begin(), bytes.end(), guid.begin());
    return guid;
}

struct KnownType {
    const char* text;
    const char* name;
};

// The types partitioning tools offer first; everything else is "Unknown".
constexpr KnownType kKnownTypes[] = {
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Basic data"},
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "MS reserved"},
    {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "WinRecovery"},
    {"5808C8AA-7E8F-42E0-85D2-E1E90434CFB3", "LDM meta"},
    {"AF9B60A0-1431-4F62-BC68-3311714A69AD", "LDM data"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux data"},
    {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root"},
    {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux home"},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "SWAP"},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
    {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
    {"BC13C2FF-59E6-4262-A352-B275FD6F7172", "Linux boot"},
    {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
    {"48465300-0000-11AA-AA11-00306543ECAC", "HFS+"},
    {"7C3457EF-0000-11AA-AA11-00306543ECAC", "APFS"},
    {"516E7CB4-6ECF-11D6-8FF8-00022D09712B", "FreeBSD"},
};

}  // namespace

std::string GuidText(const Guid& g) {
    const ByteReader r(g);
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%02X%02X%02X%02X%02X%02X", r.u32le(0), r.u16le(4),
                  r.u16le(6), r.u16be(8), r.u8(10), r.u8(11), r.u8(12), r.u8(13), r.u8(14), r.u8(15));
    return text;
}

std::optional<Guid> ParseGuid(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::string hex;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-')) return std::nullopt;
        if (!dash) {
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
            hex.push_back(text[i]);
        }
    }
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < 16; ++i)
        b[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    // The text shows the first three fields big-endian; they are stored little-endian.
    constexpr std::size_t kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    Guid guid{};
    for (std::size_t i = 0; i < 16; ++i) guid[i] = static_cast<std::byte>(b[kOrder[i]]);
    return guid;
}

const char* GptTypeName(const Guid& type) {
    const std::string text = GuidText(type);
    for (const KnownType& known : kKnownTypes) {
        if (text == known.text) return known.name;
    }
    return "Unknown";
}

bool HasProtectiveEntry(std::span<const std::byte> mbr) {
    const ByteReader r(mbr);
    for (std::size_t i = 0; i < 4; ++i) {
        if (r.u8(0x1BE + i * 16 + 4) == kProtectiveType) return true;
    }
    return false;
}

std::optional<GptHeader> DecodeGptHeader(std::span<const std::byte> sector, std::uint64_t lba,
                                         std::uint64_t diskSectors, std::string& why) {
    const ByteReader r(sector);
    if (!r.matches(0, "EFI PART")) {
        why = "no GPT signature";
        return std::nullopt;
    }
    GptHeader h;
    h.revision = r.u32le(8);
    h.headerSize = r.u32le(12);
    if (h.headerSize < kMinHeaderSize || h.headerSize > kSector) {
        why = "header size out of range";
        return std::nullopt;
    }
    std::array<std::byte, kSector> copy{};
    std::copy(sector.begin(), sector.begin() + h.headerSize, copy.begin());
    PutLe(copy, 16, 0, 4);
    if (Crc32(std::span<const std::byte>(copy).first(h.headerSize)) != r.u32le(16)) {
        why = "header checksum mismatch";
        return std::nullopt;
    }
    h.currentLba = r.u64le(24);
    h.backupLba = r.u64le(32);
    h.firstUsableLba = r.u64le(40);
    h.lastUsableLba = r.u64le(48);
    h.diskGuid = GuidAt(r, 56);
    h.entriesLba = r.u64le(72);
    h.entryCount = r.u32le(80);
    h.entrySize = r.u32le(84);
    h.entriesCrc = r.u32le(88);
    if (h.currentLba != lba) {
        why = "header names another sector as its own";
        return std::nullopt;
    }
    if (h.firstUsableLba > h.lastUsableLba || h.lastUsableLba >= diskSectors) {
        why = "usable range outside the disk";
        return std::nullopt;
    }
    if (h.entrySize < kMinEntrySize || h.entrySize > kMaxEntrySize || h.entrySize % 8 != 0 ||
        h.entryCount == 0 || h.ArrayBytes() > kMaxGptArrayBytes) {
        why = "entry array size out of range";
        return std::nullopt;
    }
    if (h.entriesLba < 2 || h.entriesLba > diskSectors || h.ArraySectors() > diskSectors - h.entriesLba) {
        why = "entry array outside the disk";
        return std::nullopt;
    }
    return h;
}

void EncodeGptHeader(const GptHeader& h, std::span<std::byte> sector) {
    std::fill(sector.begin(), sector.end(), std::byte{0});
    const char signature[] = "EFI PART";
    for (std::size_t i = 0; i < 8; ++i) sector[i] = static_cast<std::byte>(signature[i]);
    PutLe(sector, 8, h.revision, 4);
    PutLe(sector, 12, kMinHeaderSize, 4);
    PutLe(sector, 24, h.currentLba, 8);
    PutLe(sector, 32, h.backupLba, 8);
    PutLe(sector, 40, h.firstUsableLba, 8);
    PutLe(sector, 48, h.lastUsableLba, 8);
    std::copy(h.diskGuid.begin(), h.diskGuid.end(), sector.begin() + 56);
    PutLe(sector, 72, h.entriesLba, 8);
    PutLe(sector, 80, h.entryCount, 4);
    PutLe(sector, 84, h.entrySize, 4);
    PutLe(sector, 88, h.entriesCrc, 4);
    PutLe(sector, 16, Crc32(sector.first(kMinHeaderSize)), 4);
}

std::vector<GptEntry> DecodeGptEntries(std::span<const std::byte> array, const GptHeader& header) {
    std::vector<GptEntry> entries;
    const ByteReader all(array);
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        const std::size_t at = std::size_t{i} * header.entrySize;
        if (!all.has(at, header.entrySize)) break;
        const ByteReader r = all.sub(at, header.entrySize);
        GptEntry entry;
        entry.index = i;
        entry.typeGuid = GuidAt(r, 0);
        if (entry.typeGuid == Guid{}) continue;  // an unused slot
        entry.uniqueGuid = GuidAt(r, 16);
        entry.firstLba = r.u64le(32);
        entry.lastLba = r.u64le(40);
        entry.attributes = r.u64le(48);
        if (entry.firstLba > entry.lastLba || entry.firstLba < header.firstUsableLba ||
            entry.lastLba > header.lastUsableLba) {
            continue;
        }
        std::u16string name;
        for (std::size_t k = 0; k + 1 < kNameBytes; k += 2) {
            const char16_t unit = r.u16le(kNameOffset + k);
            if (unit == 0) break;
            name.push_back(unit);
        }
        entry.name = Utf16ToUtf8(name);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const GptEntry& a, const GptEntry& b) { return a.firstLba < b.firstLba; });
    return entries;
}

void EncodeGptEntry(const GptEntry& entry, std::span<std::byte> array, std::uint32_t entrySize) {
    const std::span<std::byte> slot = array.subspan(std::size_t{entry.index} * entrySize, entrySize);
    std::fill(slot.begin(), slot.end(), std::byte{0});
    std::copy(entry.typeGuid.begin(), entry.typeGuid.end(), slot.begin());
    std::copy(entry.uniqueGuid.begin(), entry.uniqueGuid.end(), slot.begin() + 16);
    PutLe(slot, 32, entry.firstLba, 8);
    PutLe(slot, 40, entry.lastLba, 8);
    PutLe(slot, 48, entry.attributes, 8);
    std::size_t at = kNameOffset;
    for (unsigned char c : entry.name) {  // names we write are plain ASCII
        if (at + 2 > kNameOffset + kNameBytes - 2) break;
        PutLe(slot, at, c < 0x80 ? c : '_', 2);
        at += 2;
    }
}

namespace {

// Reads and checks one header and its array; the reason is kept when either fails.
std::optional<GptTable> ReadOneGpt(ByteSource& disk, std::uint64_t lba, std::uint64_t diskSectors,
                                   std::string& why) {
    std::array<std::byte, kSector> sector{};
    if (!ReadExact(disk, lba * kSector, sector)) {
        why = "header unreadable";
        return std::nullopt;
    }
    auto header = DecodeGptHeader(sector, lba, diskSectors, why);
    if (!header) return std::nullopt;
    GptTable table;
    table.header = *header;
    table.array.resize(header->ArrayBytes());
    if (!ReadExact(disk, header->entriesLba * kSector, table.array)) {
        why = "entry array unreadable";
        return std::nullopt;
    }
    if (Crc32(table.array) != header->entriesCrc) {
        why = "entry array checksum mismatch";
        return std::nullopt;
    }
    table.entries = DecodeGptEntries(table.array, *header);
    return table;
}

}  // namespace

Result<GptTable> ReadGpt(ByteSource& disk, std::uint64_t diskSectors) {
    if (diskSectors < 3) return Error::Corrupt("disk too small for a GPT");
    std::string primaryWhy;
    if (auto primary = ReadOneGpt(disk, 1, diskSectors, primaryWhy)) return std::move(*primary);
    std::string backupWhy;
    auto backup = ReadOneGpt(disk, diskSectors - 1, diskSectors, backupWhy);
    if (!backup) return Error::Corrupt("primary GPT: " + primaryWhy + "; backup GPT: " + backupWhy);
    backup->fromBackup = true;
    backup->damage = primaryWhy;
    return std::move(*backup);
}

}  // namespace lumacore
