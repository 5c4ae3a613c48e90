#include "engines/exfat/exfat_entry_set.h"

#include "core/byte_reader.h"

namespace lumacore {

namespace {

// A file entry set has a stream extension and 1 to 17 name entries (255 characters at 15 a piece),
// and at most 18 secondaries in all.
constexpr std::size_t kMinSecondaries = 2;
constexpr std::size_t kMaxSecondaries = 18;
constexpr std::size_t kNameUnitsPerEntry = 15;
constexpr std::size_t kMaxNameLength = 255;

bool IsDirectoryEntryType(std::uint8_t type) {
    switch (type & ~exfat_type::kInUse) {
        case 0x01:  // allocation bitmap
        case 0x02:  // up-case table
        case 0x03:  // volume label
        case 0x05:  // file
        case 0x20:  // volume GUID
        case 0x40:  // stream extension
        case 0x41:  // file name
        case 0x60:  // vendor extension
        case 0x61:  // vendor allocation
            return true;
        default:
            return false;
    }
}

ExfatTimestamp TimestampAt(const ByteReader& r, std::size_t stampAt, std::size_t tenMsAt,
                           std::size_t offsetAt) {
    ExfatTimestamp t;
    t.raw = r.u32le(stampAt);
    t.tenMs = tenMsAt == 0 ? 0 : r.u8(tenMsAt);
    t.utcOffset = r.u8(offsetAt);
    return t;
}

}  // namespace

int ExfatTimestamp::utcOffsetMinutes() const {
    if (!hasUtcOffset()) return 0;
    const int steps = (utcOffset & 0x40) ? static_cast<int>(utcOffset & 0x7F) - 0x80 : (utcOffset & 0x7F);
    return steps * 15;
}

std::uint16_t ExfatSetChecksum(std::span<const std::byte> setEntries) {
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < setEntries.size(); ++i) {
        if (i == 2 || i == 3) continue;
        std::uint8_t b = std::to_integer<std::uint8_t>(setEntries[i]);
        if (i % kExfatEntrySize == 0) b |= exfat_type::kInUse;
        checksum = static_cast<std::uint16_t>(((checksum & 1) ? 0x8000u : 0u) + (checksum >> 1) + b);
    }
    return checksum;
}

std::optional<ExfatEntrySet> DecodeEntrySet(std::span<const std::byte> entries, std::size_t index,
                                            EntrySetFault* fault) {
    auto fail = [&](EntrySetFault why) {
        if (fault) *fault = why;
        return std::nullopt;
    };
    if (fault) *fault = EntrySetFault::None;
    const std::size_t count = entries.size() / kExfatEntrySize;
    if (index >= count) return fail(EntrySetFault::Truncated);
    const std::uint8_t type = EntryType(entries, index);
    if ((type & ~exfat_type::kInUse) != (exfat_type::kFile & ~exfat_type::kInUse))
        return fail(EntrySetFault::NotAFileEntry);
    const bool inUse = (type & exfat_type::kInUse) != 0;

    const ByteReader primary(entries.subspan(index * kExfatEntrySize, kExfatEntrySize));
    const std::size_t secondaries = primary.u8(1);
    if (secondaries < kMinSecondaries || secondaries > kMaxSecondaries) return fail(EntrySetFault::Malformed);
    if (count - index < secondaries + 1) return fail(EntrySetFault::Truncated);
    for (std::size_t k = 1; k <= secondaries; ++k) {
        const std::uint8_t t = EntryType(entries, index + k);
        if ((t & exfat_type::kSecondaryBit) == 0 || ((t & exfat_type::kInUse) != 0) != inUse) {
            return fail(EntrySetFault::Malformed);
        }
    }
    const auto setBytes = entries.subspan(index * kExfatEntrySize, (secondaries + 1) * kExfatEntrySize);
    const ByteReader stream(setBytes.subspan(kExfatEntrySize, kExfatEntrySize));
    if ((stream.u8(0) | exfat_type::kInUse) != exfat_type::kStream) return fail(EntrySetFault::Malformed);
    const std::size_t nameLength = stream.u8(3);
    const std::size_t nameEntries = (nameLength + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry;
    if (nameLength == 0 || nameLength > kMaxNameLength || nameEntries > secondaries - 1) {
        return fail(EntrySetFault::Malformed);
    }
    for (std::size_t k = 0; k < nameEntries; ++k) {
        if ((EntryType(setBytes, 2 + k) | exfat_type::kInUse) != exfat_type::kFileName) {
            return fail(EntrySetFault::Malformed);
        }
    }
    if (ExfatSetChecksum(setBytes) != primary.u16le(2)) return fail(EntrySetFault::BadChecksum);

    ExfatEntrySet set;
    set.inUse = inUse;
    set.entryCount = secondaries + 1;
    set.attributes = primary.u16le(4);
    set.created = TimestampAt(primary, 8, 20, 22);
    set.modified = TimestampAt(primary, 12, 21, 23);
    set.accessed = TimestampAt(primary, 16, 0, 24);
    set.noFatChain = (stream.u8(1) & 0x02) != 0;
    set.nameHash = stream.u16le(4);
    set.validDataLength = stream.u64le(8);
    set.firstCluster = stream.u32le(20);
    set.dataLength = stream.u64le(24);
    set.name.reserve(nameLength);
    for (std::size_t k = 0; k < nameEntries; ++k) {
        const ByteReader piece(setBytes.subspan((2 + k) * kExfatEntrySize, kExfatEntrySize));
        for (std::size_t u = 0; u < kNameUnitsPerEntry && set.name.size() < nameLength; ++u) {
            set.name.push_back(static_cast<char16_t>(piece.u16le(2 + 2 * u)));
        }
    }
    return set;
}

bool MayBeginExfatDirectory(std::span<const std::byte> entries) {
    const std::size_t count = entries.size() / kExfatEntrySize;
    if (count == 0 || !IsDirectoryEntryType(EntryType(entries, 0))) return false;
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint8_t type = EntryType(entries, i);
        if (type == exfat_type::kEndOfDirectory) break;
        if (!IsDirectoryEntryType(type)) return false;
    }
    return true;
}

bool LooksLikeExfatDirectory(std::span<const std::byte> entries) {
    const std::size_t count = entries.size() / kExfatEntrySize;
    std::size_t good = 0;
    std::size_t broken = 0;
    for (std::size_t i = 0; i < count;) {
        const std::uint8_t type = EntryType(entries, i);
        if (type == exfat_type::kEndOfDirectory) break;
        if (!IsDirectoryEntryType(type)) return false;
        if ((type | exfat_type::kInUse) != exfat_type::kFile) {
            ++i;  // a critical primary of the root, or a secondary left over from a set cut by the cluster
                  // edge
            continue;
        }
        EntrySetFault fault = EntrySetFault::None;
        if (auto set = DecodeEntrySet(entries, i, &fault)) {
            ++good;
            i += set->entryCount;
            continue;
        }
        if (fault == EntrySetFault::Truncated) break;  // runs on into the next cluster
        ++broken;
        ++i;
    }
    return good > 0 && good >= broken;
}

}  // namespace lumacore
