#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/byte_source.h"

namespace lumacore {

// The bytes that follow a candidate header, as a format parser sees them: random access from the
// header's first byte, bounded by the size limit, the scan range and the device. Reads go through one
// buffer, so a parser that walks a file from front to back reads each byte from the device once.
class CarveInput {
  public:
    // The most a single window can hold; parsers that need more walk in steps.
    static constexpr std::size_t kMaxWindow = std::size_t{1} << 20;

    // `buffer`, when given, is reused from one candidate to the next instead of a buffer of its own.
    CarveInput(ByteSource& source, std::uint64_t base, std::uint64_t limit,
               std::vector<std::byte>* buffer = nullptr);

    // Bytes of the candidate a parser may look at: a file that runs past this is not ended by its parser.
    std::uint64_t limit() const { return limit_; }

    // Up to `n` bytes (at most kMaxWindow) from `offset`; fewer only where the limit or the device ends.
    // The span is valid until the next call.
    std::span<const std::byte> Window(std::uint64_t offset, std::size_t n);

    // Whole fields, or nothing when any byte of them is out of reach.
    std::optional<std::uint8_t> U8(std::uint64_t offset);
    std::optional<std::uint16_t> U16le(std::uint64_t offset);
    std::optional<std::uint16_t> U16be(std::uint64_t offset);
    std::optional<std::uint32_t> U32le(std::uint64_t offset);
    std::optional<std::uint32_t> U32be(std::uint64_t offset);
    std::optional<std::uint64_t> U64le(std::uint64_t offset);
    std::optional<std::uint64_t> U64be(std::uint64_t offset);
    bool Equals(std::uint64_t offset, std::string_view text);
    // Copies exactly out.size() bytes; false when they are not all in reach.
    bool Read(std::uint64_t offset, std::span<std::byte> out);

    // The first position in [from, to) where `needle` starts, all of it before `to`.
    std::optional<std::uint64_t> Find(std::uint64_t from, std::uint64_t to, std::string_view needle);
    // The first position in [from, to) holding `value`.
    std::optional<std::uint64_t> FindByte(std::uint64_t from, std::uint64_t to, std::uint8_t value);

  private:
    std::optional<std::uint64_t> Field(std::uint64_t offset, std::size_t n, bool bigEndian);

    ByteSource& source_;
    std::uint64_t base_;
    std::uint64_t limit_;
    std::vector<std::byte> ownBuffer_;
    std::vector<std::byte>& buffer_;
    std::uint64_t bufferStart_ = 0;  // relative to base_
    std::size_t bufferLength_ = 0;
};

}  // namespace lumacore
