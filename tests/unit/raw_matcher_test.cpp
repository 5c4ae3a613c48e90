// The pattern rule (hex pairs, the odd last digit, alternatives, upper case, bytes past the sector) and
// the compiled matcher's equality with the textual rule, on random data and on every shipped signature.
#include <gtest/gtest.h>

#include <random>

#include "engines/raw/signature_matcher.h"

namespace lumacore {
namespace {

std::vector<std::byte> Sector(std::initializer_list<int> head, std::size_t size = 512) {
    std::vector<std::byte> bytes(size, std::byte{0x55});
    std::size_t i = 0;
    for (int b : head) bytes[i++] = static_cast<std::byte>(b);
    return bytes;
}

bool BothMatch(std::string_view pattern, const std::vector<std::byte>& bytes, std::int64_t offset) {
    const bool text = MatchPatternText(pattern, bytes, offset);
    EXPECT_EQ(CompiledPattern(pattern).Matches(bytes, offset), text) << pattern << " at " << offset;
    return text;
}

SignatureEntry Entry(std::string ext, std::initializer_list<std::pair<int, std::string>> parts) {
    SignatureEntry entry;
    entry.extension = ext;
    entry.description = ext + " file";
    for (const auto& [offset, pattern] : parts) {
        entry.offsets[static_cast<std::size_t>(entry.partCount)] = offset;
        entry.patterns[static_cast<std::size_t>(entry.partCount)] = pattern;
        ++entry.partCount;
    }
    return entry;
}

TEST(RawPattern, DigitPairsOddDigitAndCase) {
    const auto jpeg = Sector({0xFF, 0xD8, 0xFF, 0xE0});
    EXPECT_TRUE(BothMatch("ffd8ff", jpeg, 0));
    EXPECT_FALSE(BothMatch("FFD8FF", jpeg, 0));  // upper case never matches
    EXPECT_FALSE(BothMatch("ffd8fe", jpeg, 0));
    for (int last = 0xF0; last <= 0xFF; ++last)
        EXPECT_TRUE(BothMatch("ffd8f", Sector({0xFF, 0xD8, last}), 0));
    EXPECT_FALSE(BothMatch("ffd8f", Sector({0xFF, 0xD8, 0xEF}), 0));
    EXPECT_TRUE(BothMatch("", jpeg, 0));        // an empty pattern matches
    EXPECT_TRUE(BothMatch("d8ff", jpeg, 1));    // at its offset
    EXPECT_FALSE(BothMatch("ff d8", jpeg, 0));  // any other character never matches
    EXPECT_FALSE(BothMatch("ffd8ffe0zz", jpeg, 0));
}

TEST(RawPattern, AlternativesAreTriedFromTheLeft) {
    EXPECT_TRUE(BothMatch("504b|4d5a", Sector({0x50, 0x4B}), 0));
    EXPECT_TRUE(BothMatch("504b|4d5a", Sector({0x4D, 0x5A}), 0));
    EXPECT_FALSE(BothMatch("504b|4d5a", Sector({0x4D, 0x4B}), 0));
    EXPECT_TRUE(
        BothMatch("4d5A|4d5", Sector({0x4D, 0x5A}), 0));  // a dead alternative does not spoil the next
    EXPECT_TRUE(BothMatch("zz|", Sector({0x00}), 0));     // a trailing empty alternative matches
}

TEST(RawPattern, BytesBeyondTheSectorNeverMatch) {
    auto sector = Sector({});
    sector[510] = std::byte{0x55};
    sector[511] = std::byte{0xAA};
    EXPECT_TRUE(BothMatch("55aa", sector, 510));
    EXPECT_FALSE(BothMatch("55aa00", sector, 510));
    EXPECT_FALSE(BothMatch("55aa0", sector, 510));  // the odd digit needs the next byte too
    EXPECT_FALSE(BothMatch("55", sector, 512));
    EXPECT_FALSE(BothMatch("55", sector, -1));
    EXPECT_TRUE(BothMatch("", sector, 9999));
}

TEST(RawMatcher, FirstEntryInListOrderWinsAndDisabledEntriesAreSkipped) {
    std::vector<SignatureEntry> entries{Entry("zip", {{0, "504b0304"}}),
                                        Entry("docx", {{0, "504b0304"}, {30, "5b43"}}),
                                        Entry("any", {{2, ""}})};
    auto sector = Sector({0x50, 0x4B, 0x03, 0x04});
    sector[30] = std::byte{0x5B};
    sector[31] = std::byte{0x43};
    EXPECT_EQ(SignatureMatcher(entries).Match(sector), 0);
    entries[0].enabled = false;
    EXPECT_EQ(SignatureMatcher(entries).Match(sector), 1);
    sector[31] = std::byte{0x44};  // the later part fails: the next signature in order is tried
    EXPECT_EQ(SignatureMatcher(entries).Match(sector), 2);
    entries[2].enabled = false;
    EXPECT_EQ(SignatureMatcher(entries).Match(sector), -1);
    EXPECT_TRUE(SignatureMatcher(entries).lookahead() == 0);
}

TEST(RawMatcher, PartsBeyondTheFirstSectorAreTestedAtTheirTrueOffset) {
    std::vector<SignatureEntry> entries{Entry("iso", {{32768, "014344303031"}}),
                                        Entry("two", {{0, "aa"}, {1030, "bbcc"}})};
    const SignatureMatcher matcher(entries);
    EXPECT_EQ(matcher.lookahead(), 32774u - 512u);
    std::vector<std::byte> window(512 + matcher.lookahead(), std::byte{0});
    const std::byte cd001[] = {std::byte{1},   std::byte{'C'}, std::byte{'D'},
                               std::byte{'0'}, std::byte{'0'}, std::byte{'1'}};
    std::copy(std::begin(cd001), std::end(cd001), window.begin() + 32768);
    EXPECT_EQ(matcher.Match(window), 0);
    EXPECT_EQ(MatchSignaturesByText(entries, window), 0);
    // Cut short (the range ends before the part): no match.
    EXPECT_EQ(matcher.Match(std::span<const std::byte>(window).first(32770)), -1);
    window[0] = std::byte{0xAA};
    window[1030] = std::byte{0xBB};
    window[1031] = std::byte{0xCC};
    window[32768] = std::byte{0};
    EXPECT_EQ(matcher.Match(window), 1);
    window[1031] = std::byte{0xCD};
    EXPECT_EQ(matcher.Match(window), -1);
}

TEST(RawMatcher, CompiledAndTextualRulesAgreeOnRandomPatternsAndData) {
    std::mt19937 random(20261208);
    const std::string alphabet = "0123456789abcdef0123456789abcdef|Ax";
    for (int round = 0; round < 300; ++round) {
        std::vector<SignatureEntry> entries;
        const int count = 1 + static_cast<int>(random() % 6);
        for (int s = 0; s < count; ++s) {
            SignatureEntry entry;
            entry.partCount = 1 + static_cast<int>(random() % 3);
            for (int p = 0; p < entry.partCount; ++p) {
                const auto i = static_cast<std::size_t>(p);
                const auto r = random() % 10;
                entry.offsets[i] = r < 7   ? static_cast<int>(random() % 8)
                                   : r < 9 ? 505 + static_cast<int>(random() % 600)
                                           : -1;
                std::string pattern;
                const auto length = random() % 7;
                for (std::size_t k = 0; k < length; ++k)
                    pattern.push_back(alphabet[random() % alphabet.size()]);
                entry.patterns[i] = pattern;
            }
            entries.push_back(entry);
        }
        const SignatureMatcher matcher(entries);
        // Few byte values, so that patterns do match now and then.
        std::vector<std::byte> data(4096);
        for (auto& b : data) b = static_cast<std::byte>(random() % 3 == 0 ? 0 : random() % 4);
        for (std::size_t at = 0; at + 512 <= data.size(); at += 64) {
            const auto window = std::span<const std::byte>(data).subspan(
                at, std::min(data.size() - at, 512 + matcher.lookahead()));
            ASSERT_EQ(matcher.Match(window), MatchSignaturesByText(entries, window))
                << "round " << round << " at " << at;
        }
    }
}

}  // namespace
}  // namespace lumacore
