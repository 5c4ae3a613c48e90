#include "engines/exfat/exfat_upcase.h"

#include "core/byte_reader.h"

namespace lumacore {

namespace {

// A table covers at most every 16-bit code unit.
constexpr std::size_t kCodeUnits = 0x10000;

}  // namespace

ExfatUpcaseTable ExfatUpcaseTable::Decode(std::span<const std::byte> stored) {
    ExfatUpcaseTable table;
    const ByteReader r(stored);
    table.map_.reserve(kCodeUnits);
    for (std::size_t at = 0; at + 2 <= stored.size() && table.map_.size() < kCodeUnits; at += 2) {
        const std::uint16_t value = r.u16le(at);
        if (value == 0xFFFF && at + 4 <= stored.size()) {
            const std::size_t run = r.u16le(at + 2);
            for (std::size_t k = 0; k < run && table.map_.size() < kCodeUnits; ++k) {
                table.map_.push_back(static_cast<char16_t>(table.map_.size()));
            }
            at += 2;
            continue;
        }
        table.map_.push_back(static_cast<char16_t>(value));
    }
    return table;
}

char16_t ExfatUpcaseTable::Upper(char16_t c) const {
    if (c < map_.size()) return map_[c];
    if (map_.empty() && c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
    return c;
}

bool ExfatUpcaseTable::Equal(std::u16string_view a, std::u16string_view b) const {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

std::uint16_t ExfatUpcaseTable::NameHash(std::u16string_view name) const {
    std::uint16_t hash = 0;
    for (char16_t c : name) {
        const char16_t upper = Upper(c);
        for (unsigned byte : {static_cast<unsigned>(upper & 0xFF), static_cast<unsigned>(upper >> 8)}) {
            hash = static_cast<std::uint16_t>(((hash & 1) ? 0x8000u : 0u) + (hash >> 1) + byte);
        }
    }
    return hash;
}

std::uint32_t ExfatTableChecksum(std::span<const std::byte> stored) {
    std::uint32_t checksum = 0;
    for (std::byte b : stored) {
        checksum = ((checksum & 1) ? 0x80000000u : 0u) + (checksum >> 1) + std::to_integer<std::uint8_t>(b);
    }
    return checksum;
}

}  // namespace lumacore
