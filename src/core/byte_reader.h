#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumacore {

// Bounds-checked little/big-endian access to a byte span. Every accessor checks `offset + n <= size`
// in a form that cannot wrap; reads outside the span yield 0 and mark the reader as having overrun,
// so that a parser can decode field by field and test ok() once at the end.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::span<const std::byte> bytes() const { return bytes_; }
    bool ok() const { return !overrun_; }

    bool has(std::size_t offset, std::size_t n) const {
        return offset <= bytes_.size() && n <= bytes_.size() - offset;
    }

    std::uint8_t u8(std::size_t offset) const { return static_cast<std::uint8_t>(le(offset, 1)); }
    std::uint16_t u16le(std::size_t offset) const { return static_cast<std::uint16_t>(le(offset, 2)); }
    std::uint32_t u32le(std::size_t offset) const { return static_cast<std::uint32_t>(le(offset, 4)); }
    std::uint64_t u64le(std::size_t offset) const { return le(offset, 8); }
    std::uint16_t u16be(std::size_t offset) const { return static_cast<std::uint16_t>(be(offset, 2)); }
    std::uint32_t u32be(std::size_t offset) const { return static_cast<std::uint32_t>(be(offset, 4)); }
    std::int8_t i8(std::size_t offset) const { return static_cast<std::int8_t>(u8(offset)); }

    // A sub-range; an out-of-bounds request gives an empty, overrun reader.
    ByteReader sub(std::size_t offset, std::size_t n) const {
        if (!has(offset, n)) {
            overrun_ = true;
            ByteReader empty;
            empty.overrun_ = true;
            return empty;
        }
        return ByteReader(bytes_.subspan(offset, n));
    }

    // True when the bytes at offset equal the given ASCII text.
    bool matches(std::size_t offset, std::string_view text) const {
        if (!has(offset, text.size())) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (static_cast<char>(bytes_[offset + i]) != text[i]) return false;
        }
        return true;
    }

    // Text up to the first NUL within [offset, offset + maxLength), clipped to the span.
    std::string zstring(std::size_t offset, std::size_t maxLength) const {
        std::string out;
        for (std::size_t i = 0; i < maxLength && offset <= bytes_.size() && i < bytes_.size() - offset; ++i) {
            char c = static_cast<char>(bytes_[offset + i]);
            if (c == '\0') break;
            out.push_back(c);
        }
        return out;
    }

private:
    std::uint64_t le(std::size_t offset, std::size_t n) const {
        if (!has(offset, n)) {
            overrun_ = true;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{std::to_integer<std::uint8_t>(bytes_[offset + i])} << (8 * i);
        return v;
    }
    std::uint64_t be(std::size_t offset, std::size_t n) const {
        if (!has(offset, n)) {
            overrun_ = true;
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | std::to_integer<std::uint8_t>(bytes_[offset + i]);
        return v;
    }

    std::span<const std::byte> bytes_;
    mutable bool overrun_ = false;
};

// Little-endian writers for fixed-layout records; the caller guarantees the span is large enough
// (records are built into buffers of their own fixed size).
inline void PutLe(std::span<std::byte> out, std::size_t offset, std::uint64_t value, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

}  // namespace lumacore
