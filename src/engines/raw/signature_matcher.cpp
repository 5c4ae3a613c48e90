#include "engines/raw/signature_matcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace lumacore {

namespace {

bool AlternativeMatchesText(std::string_view alternative, std::span<const std::byte> bytes,
                            std::int64_t offset) {
    char digits[3];
    for (std::size_t i = 0; i < alternative.size(); ++i) {
        const std::int64_t at = offset + static_cast<std::int64_t>(i / 2);
        if (at < 0 || static_cast<std::uint64_t>(at) >= bytes.size()) return false;
        std::snprintf(digits, sizeof digits, "%02x",
                      std::to_integer<unsigned>(bytes[static_cast<std::size_t>(at)]));
        if (alternative[i] != digits[i % 2]) return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case and anything else never equal a formatted digit
}

std::span<const std::byte> SpanForOffset(std::span<const std::byte> window, std::int64_t offset) {
    return offset < static_cast<std::int64_t>(kRawSectorSize)
               ? window.first(std::min(window.size(), kRawSectorSize))
               : window;
}

}  // namespace

bool MatchPatternText(std::string_view pattern, std::span<const std::byte> bytes, std::int64_t offset) {
    for (std::size_t from = 0;;) {
        const std::size_t bar = pattern.find('|', from);
        const std::string_view alternative =
            pattern.substr(from, bar == std::string_view::npos ? bar : bar - from);
        if (AlternativeMatchesText(alternative, bytes, offset)) return true;
        if (bar == std::string_view::npos) return false;
        from = bar + 1;
    }
}

int MatchSignaturesByText(const std::vector<SignatureEntry>& entries, std::span<const std::byte> window) {
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const SignatureEntry& entry = entries[e];
        if (!entry.enabled || entry.partCount < 1) continue;
        bool all = true;
        for (int p = 0; p < entry.partCount && p < SignatureEntry::kMaxParts && all; ++p) {
            const std::int64_t offset = entry.offsets[static_cast<std::size_t>(p)];
            all = MatchPatternText(entry.patterns[static_cast<std::size_t>(p)], SpanForOffset(window, offset),
                                   offset);
        }
        if (all) return static_cast<int>(e);
    }
    return -1;
}

CompiledPattern::CompiledPattern(std::string_view pattern) {
    for (std::size_t from = 0;;) {
        const std::size_t bar = pattern.find('|', from);
        const std::string_view text = pattern.substr(from, bar == std::string_view::npos ? bar : bar - from);
        if (text.empty()) {
            matchesAnything_ = true;
        } else {
            Alternative alternative;
            bool possible = true;
            for (std::size_t i = 0; i < text.size() && possible; i += 2) {
                const int high = HexDigit(text[i]);
                const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : 0;
                possible = high >= 0 && low >= 0;
                alternative.value.push_back(static_cast<std::uint8_t>(high * 16 + low));
                alternative.mask.push_back(i + 1 < text.size() ? 0xFF : 0xF0);
            }
            if (possible) {
                maxLength_ = std::max(maxLength_, alternative.value.size());
                alternatives_.push_back(std::move(alternative));
            }
        }
        if (bar == std::string_view::npos) break;
        from = bar + 1;
    }
}

bool CompiledPattern::Matches(std::span<const std::byte> bytes, std::int64_t offset) const {
    if (matchesAnything_) return true;
    if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes.size()) return false;
    const std::size_t room = bytes.size() - static_cast<std::size_t>(offset);
    if (room == 0) return false;  // every alternative left holds at least one byte
    const auto* at = reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset;
    for (const Alternative& alternative : alternatives_) {
        const std::size_t n = alternative.value.size();
        if (n > room) continue;
        std::size_t i = 0;
        while (i < n && (at[i] & alternative.mask[i]) == alternative.value[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

std::array<bool, 256> CompiledPattern::FirstBytes() const {
    std::array<bool, 256> possible{};
    for (unsigned b = 0; b < 256; ++b) {
        for (const Alternative& alternative : alternatives_) {
            if ((b & alternative.mask[0]) == alternative.value[0]) possible[b] = true;
        }
        if (matchesAnything_) possible[b] = true;
    }
    return possible;
}

std::array<bool, 256> CompiledPattern::SecondBytes(std::uint8_t first) const {
    std::array<bool, 256> possible{};
    for (unsigned b = 0; b < 256; ++b) {
        for (const Alternative& alternative : alternatives_) {
            if ((first & alternative.mask[0]) != alternative.value[0]) continue;
            if (alternative.value.size() < 2 || (b & alternative.mask[1]) == alternative.value[1])
                possible[b] = true;
        }
        if (matchesAnything_) possible[b] = true;
    }
    return possible;
}

SignatureMatcher::SignatureMatcher(const std::vector<SignatureEntry>& entries) {
    std::size_t reach = 0;
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const SignatureEntry& entry = entries[e];
        if (!entry.enabled || entry.partCount < 1) continue;
        Signature signature{static_cast<int>(e), {}};
        bool possible = true;
        for (int p = 0; p < entry.partCount && p < SignatureEntry::kMaxParts; ++p) {
            Part part{entry.offsets[static_cast<std::size_t>(p)],
                      CompiledPattern(entry.patterns[static_cast<std::size_t>(p)])};
            if (part.pattern.matchesNothing() || (part.offset < 0 && !part.pattern.matchesAnything()))
                possible = false;
            if (part.offset >= static_cast<std::int64_t>(kRawSectorSize) && !part.pattern.matchesAnything()) {
                reach = std::max<std::size_t>(
                    reach, static_cast<std::size_t>(std::min<std::int64_t>(
                               part.offset + static_cast<std::int64_t>(part.pattern.maxLength()),
                               static_cast<std::int64_t>(kMaxLookaheadBytes + kRawSectorSize))));
            }
            signature.parts.push_back(std::move(part));
        }
        if (possible) signatures_.push_back(std::move(signature));
    }
    lookahead_ = reach > kRawSectorSize ? std::min(reach - kRawSectorSize, kMaxLookaheadBytes) : 0;

    // Per first-part offset, the signatures each first byte can start; ids stay in list order.
    std::map<std::int64_t, std::array<std::vector<std::uint32_t>, 256>> byOffset;
    for (std::uint32_t id = 0; id < signatures_.size(); ++id) {
        const Part& first = signatures_[id].parts.front();
        if (first.pattern.matchesAnything()) {
            always_.push_back(id);
            continue;
        }
        const auto possible = first.pattern.FirstBytes();
        auto& lists = byOffset[first.offset];
        for (unsigned b = 0; b < 256; ++b) {
            if (possible[b]) lists[b].push_back(id);
        }
    }
    for (const auto& [offset, lists] : byOffset) {
        Dispatch dispatch;
        dispatch.offset = offset;
        for (unsigned b = 0; b < 256; ++b) {
            dispatch.begin[b] = static_cast<std::uint32_t>(dispatch.ids.size());
            for (const std::uint32_t id : lists[b]) {
                const auto admitted =
                    signatures_[id].parts.front().pattern.SecondBytes(static_cast<std::uint8_t>(b));
                ByteSet set{};
                for (unsigned v = 0; v < 256; ++v) {
                    if (admitted[v]) set[v >> 6] |= std::uint64_t{1} << (v & 63);
                }
                for (std::size_t w = 0; w < set.size(); ++w) dispatch.anySecond[b][w] |= set[w];
                dispatch.ids.push_back(id);
                dispatch.second.push_back(set);
            }
        }
        dispatch.begin[256] = static_cast<std::uint32_t>(dispatch.ids.size());
        dispatch_.push_back(std::move(dispatch));
    }

    std::vector<std::byte> uniform(kRawSectorSize);
    for (unsigned v = 0; v < 256; ++v) {
        std::fill(uniform.begin(), uniform.end(), static_cast<std::byte>(v));
        for (std::uint32_t id = 0; id < signatures_.size(); ++id) {
            const auto& parts = signatures_[id].parts;
            const bool admitted = std::all_of(parts.begin(), parts.end(), [&](const Part& part) {
                return part.offset >= static_cast<std::int64_t>(kRawSectorSize) ||
                       part.pattern.Matches(uniform, part.offset);
            });
            if (admitted) uniformCandidates_[v].push_back(id);
        }
    }
}

bool SignatureMatcher::FullMatch(const Signature& signature, std::span<const std::byte> window) const {
    for (const Part& part : signature.parts) {
        if (!part.pattern.Matches(SpanForOffset(window, part.offset), part.offset)) return false;
    }
    return true;
}

int SignatureMatcher::Match(std::span<const std::byte> window) const {
    std::uint32_t best = static_cast<std::uint32_t>(signatures_.size());
    const std::size_t sectorBytes = std::min(window.size(), kRawSectorSize);
    if (sectorBytes == kRawSectorSize) {
        // Every byte equals its successor: one library compare, vectorised, that stops at the first
        // difference (at once on ordinary data).
        if (std::memcmp(window.data(), window.data() + 1, kRawSectorSize - 1) == 0) {
            for (const std::uint32_t id : uniformCandidates_[std::to_integer<unsigned>(window[0])]) {
                if (FullMatch(signatures_[id], window)) return signatures_[id].entryIndex;
            }
            return -1;
        }
    }
    for (const Dispatch& dispatch : dispatch_) {
        const std::size_t limit =
            dispatch.offset < static_cast<std::int64_t>(kRawSectorSize) ? sectorBytes : window.size();
        if (static_cast<std::uint64_t>(dispatch.offset) >= limit) continue;
        const auto at = static_cast<std::size_t>(dispatch.offset);
        const unsigned b = std::to_integer<unsigned>(window[at]);
        // Without a second byte in reach only one-byte alternatives can match: FullMatch decides.
        const bool hasSecond = at + 1 < limit;
        const unsigned next = hasSecond ? std::to_integer<unsigned>(window[at + 1]) : 0;
        if (hasSecond && !Has(dispatch.anySecond[b], next)) continue;
        for (std::uint32_t k = dispatch.begin[b]; k < dispatch.begin[b + 1]; ++k) {
            const std::uint32_t id = dispatch.ids[k];
            if (id >= best) break;
            if (hasSecond && !Has(dispatch.second[k], next)) continue;
            if (FullMatch(signatures_[id], window)) {
                best = id;
                break;
            }
        }
    }
    for (const std::uint32_t id : always_) {
        if (id >= best) break;
        if (FullMatch(signatures_[id], window)) {
            best = id;
            break;
        }
    }
    return best < signatures_.size() ? signatures_[best].entryIndex : -1;
}

}  // namespace lumacore
