#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engines/raw/signature_entry.h"

namespace lumacore {

inline constexpr std::size_t kRawSectorSize = 512;

// How far past the end of a sector a signature's later parts may be looked for. Parts at offsets
// beyond the first sector are tested at their true place in the following sectors, which the scan
// must hold in memory; real formats keep their magic within the first 64 KiB (an ISO 9660 volume
// descriptor sits at 32 KiB), so 1 MiB is ample and bounds the read-ahead.
inline constexpr std::size_t kMaxLookaheadBytes = std::size_t{1} << 20;

// The textual rule, kept as the reference the compiled matcher is tested against: the bytes from
// `offset` on are written as lower-case "%02x" pairs and compared with the pattern character by
// character; "|" separates alternatives tried from the left; an odd last digit is compared with the
// high digit of the next byte; bytes outside `bytes` (and so any at a negative offset) never match.
bool MatchPatternText(std::string_view pattern, std::span<const std::byte> bytes, std::int64_t offset);

// The window a sector is matched in: the sector's 512 bytes followed by whatever of the next bytes
// is readable (up to the matcher's look-ahead). Parts at offsets below 512 see only the sector; parts
// at 512 or beyond see the whole window. The result is the index of the first enabled entry, in list
// order, whose parts all match; -1 when none does.
int MatchSignaturesByText(const std::vector<SignatureEntry>& entries, std::span<const std::byte> window);

// One pattern compiled to bytes and masks: the same answers as MatchPatternText without formatting.
class CompiledPattern {
  public:
    explicit CompiledPattern(std::string_view pattern);

    bool Matches(std::span<const std::byte> bytes, std::int64_t offset) const;
    // True when an empty alternative makes the pattern match anything anywhere.
    bool matchesAnything() const { return matchesAnything_; }
    bool matchesNothing() const { return !matchesAnything_ && alternatives_.empty(); }
    // The longest alternative in bytes (an odd last digit counts as a byte).
    std::size_t maxLength() const { return maxLength_; }
    // Which values the first byte may hold for some alternative to match.
    std::array<bool, 256> FirstBytes() const;
    // Which values the second byte may hold, given the first is `first`, for some alternative to match
    // (every value where an alternative of one byte, or one that matches anything, does).
    std::array<bool, 256> SecondBytes(std::uint8_t first) const;

  private:
    struct Alternative {
        std::vector<std::uint8_t> value;
        std::vector<std::uint8_t> mask;
    };
    std::vector<Alternative> alternatives_;  // those that can match at all, in order
    bool matchesAnything_ = false;
    std::size_t maxLength_ = 0;
};

// All enabled signatures compiled once, dispatched on the byte at each first part's offset, so a
// sector costs a handful of table look-ups unless one of its bytes starts some signature.
class SignatureMatcher {
  public:
    explicit SignatureMatcher(const std::vector<SignatureEntry>& entries);

    // Same contract as MatchSignaturesByText.
    int Match(std::span<const std::byte> window) const;

    bool empty() const { return signatures_.empty(); }
    // Bytes past the sector's end that later parts need, at most kMaxLookaheadBytes.
    std::size_t lookahead() const { return lookahead_; }

  private:
    struct Part {
        std::int64_t offset;
        CompiledPattern pattern;
    };
    struct Signature {
        int entryIndex;
        std::vector<Part> parts;
    };
    // 256 flags, one per byte value.
    using ByteSet = std::array<std::uint64_t, 4>;
    static bool Has(const ByteSet& set, unsigned b) { return (set[b >> 6] >> (b & 63)) & 1U; }

    // Signatures whose first part is at one offset, listed per value of the byte there. Most sectors
    // start with bytes some signature starts with too (zeros above all), so the byte after it filters
    // first: per candidate the second-byte values it admits, and per first byte their union, which
    // turns a zero sector into two look-ups.
    struct Dispatch {
        std::int64_t offset;
        std::array<std::uint32_t, 257> begin{};  // ids of byte b are ids[begin[b] .. begin[b + 1])
        std::vector<std::uint32_t> ids;          // indices into signatures_, ascending
        std::vector<ByteSet> second;             // parallel to ids
        std::array<ByteSet, 256> anySecond{};    // per first byte, the union of its ids' second sets
    };

    bool FullMatch(const Signature& signature, std::span<const std::byte> window) const;

    std::vector<Signature> signatures_;  // in list order
    std::vector<Dispatch> dispatch_;
    std::vector<std::uint32_t> always_;  // first part matches anything: tried on every sector
    // Erased and never-written areas are whole sectors of one byte value (zeros, 0xFF). For such a
    // sector only the signatures whose in-sector parts all accept that sector can match: per value,
    // their ids in list order.
    std::array<std::vector<std::uint32_t>, 256> uniformCandidates_;
    std::size_t lookahead_ = 0;
};

}  // namespace lumacore
