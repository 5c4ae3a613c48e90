#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lznt1.h"

namespace lumacore {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

std::vector<std::byte> Text(const std::string& text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

TEST(Lznt1, DecodesHandMadeChunks) {
    // "abc" then a back-reference of offset 3 and length 6 (token 0x2003 at position 3), then a
    // stored chunk "xy" that starts a new 4096-byte chunk, so the first one is padded with zeros.
    const auto input = Bytes({0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x03, 0x20, 0x01, 0x30, 'x', 'y', 0x00, 0x00});
    std::vector<std::byte> out(8192, std::byte{0xEE});
    const auto n = Lznt1Decompress(input, out);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(*n, 4096u + 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 9), "abcabcabc");
    EXPECT_EQ(out[9], std::byte{0});
    EXPECT_EQ(out[4095], std::byte{0});
    EXPECT_EQ(out[4096], std::byte{'x'});
}

TEST(Lznt1, RejectsWhatIsNotAStreamOrDoesNotFit) {
    std::vector<std::byte> out(4096);
    // A back-reference before any byte was written.
    EXPECT_FALSE(Lznt1Decompress(Bytes({0x02, 0xB0, 0x01, 0x00, 0x00}), out));
    // An offset reaching before the chunk.
    EXPECT_FALSE(Lznt1Decompress(Bytes({0x03, 0xB0, 0x02, 'a', 0x00, 0x10}), out));
    // A chunk longer than the input left.
    EXPECT_FALSE(Lznt1Decompress(Bytes({0xFF, 0xBF, 0x00, 'a'}), out));
    // More output than the buffer holds.
    std::vector<std::byte> tiny(5);
    EXPECT_FALSE(Lznt1Decompress(Bytes({0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x03, 0x20}), tiny));
    // An empty stream is valid and empty.
    EXPECT_EQ(Lznt1Decompress({}, out), std::optional<std::size_t>(0));
}

TEST(Lznt1, CompressorOutputDecodesToItsInput) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 97) + " of the report\n";
    std::vector<std::byte> noise;
    std::uint32_t x = 12345;
    for (int i = 0; i < 10000; ++i) {
        x = x * 1103515245 + 12345;
        noise.push_back(static_cast<std::byte>(x >> 24));
    }
    for (const auto& input : {Text(text), noise, Text("a"), Text(std::string(5000, 'z'))}) {
        const std::vector<std::byte> packed = Lznt1Compress(input);
        std::vector<std::byte> out(input.size() + 4096);
        const auto n = Lznt1Decompress(packed, out);
        ASSERT_TRUE(n.has_value());
        ASSERT_EQ(*n, input.size());
        EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
    }
    // Text shrinks; noise is stored, costing two bytes per chunk.
    EXPECT_LT(Lznt1Compress(Text(text)).size(), text.size() / 4);
    EXPECT_EQ(Lznt1Compress(noise).size(), noise.size() + 2 * 3);
}

}  // namespace
}  // namespace lumacore
