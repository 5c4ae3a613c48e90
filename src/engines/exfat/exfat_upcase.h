#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lumacore {

// The volume's up-case table: how the volume compares file names without regard to case, and what its
// name hashes are computed over. Without a table read from the volume, ASCII letters are mapped.
class ExfatUpcaseTable {
  public:
    ExfatUpcaseTable() = default;

    // Decodes the stored table: a run of 16-bit values, where 0xFFFF followed by a count stands for
    // that many characters that map to themselves.
    static ExfatUpcaseTable Decode(std::span<const std::byte> stored);

    char16_t Upper(char16_t c) const;
    bool loaded() const { return !map_.empty(); }

    // Names compare equal when their up-cased units do.
    bool Equal(std::u16string_view a, std::u16string_view b) const;

    // The name hash a stream extension entry stores for a name.
    std::uint16_t NameHash(std::u16string_view name) const;

  private:
    std::vector<char16_t> map_;  // index: code unit; shorter than 65,536 means the rest map to themselves
};

// The 32-bit checksum a volume's up-case table entry stores for the table's bytes.
std::uint32_t ExfatTableChecksum(std::span<const std::byte> stored);

}  // namespace lumacore
