#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "core/byte_reader.h"
#include "core/byte_source.h"

namespace lumacore {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

TEST(ByteReader, ReadsBothByteOrdersAndFlagsOverruns) {
    const auto bytes = Bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
    ByteReader r(bytes);
    EXPECT_EQ(r.u16le(0), 0x0201);
    EXPECT_EQ(r.u32le(0), 0x04030201u);
    EXPECT_EQ(r.u64le(0), 0x0807060504030201ull);
    EXPECT_EQ(r.u16be(0), 0x0102);
    EXPECT_EQ(r.u32be(4), 0x05060708u);
    EXPECT_TRUE(r.ok());

    EXPECT_EQ(r.u32le(5), 0u);  // crosses the end
    EXPECT_FALSE(r.ok());

    ByteReader wrap(bytes);
    EXPECT_EQ(wrap.u16le(std::numeric_limits<std::size_t>::max()), 0);  // offset + n would wrap
    EXPECT_FALSE(wrap.ok());
    EXPECT_FALSE(wrap.has(std::numeric_limits<std::size_t>::max() - 1, 4));
    EXPECT_TRUE(wrap.has(8, 0));
    EXPECT_FALSE(wrap.has(9, 0));
}

TEST(ByteReader, SubRangesAndTexts) {
    const auto bytes = Bytes({'N', 'T', 'F', 'S', 0, 'x', 0x41, 0x42});
    ByteReader r(bytes);
    ByteReader inner = r.sub(6, 2);
    EXPECT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner.u16le(0), 0x4241);
    EXPECT_TRUE(r.matches(0, "NTFS"));
    EXPECT_FALSE(r.matches(6, "ABC"));
    EXPECT_EQ(r.zstring(0, 100), "NTFS");
    EXPECT_EQ(r.zstring(5, 100), "xAB");  // clipped at the end of the span
    ByteReader outside = r.sub(7, 2);
    EXPECT_EQ(outside.size(), 0u);
    EXPECT_FALSE(outside.ok());
    EXPECT_FALSE(r.ok());
}

TEST(ByteSource, ReadExactReportsShortReads) {
    MemorySource source(Bytes({1, 2, 3, 4}));
    std::vector<std::byte> out(4);
    EXPECT_TRUE(ReadExact(source, 0, out));
    auto shortRead = ReadExact(source, 2, out);
    ASSERT_FALSE(shortRead);
    EXPECT_EQ(shortRead.error().offset, 2u);
    auto count = source.ReadAt(3, out);
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, 1u);
    auto past = source.ReadAt(100, out);
    ASSERT_TRUE(past);
    EXPECT_EQ(*past, 0u);
}

}  // namespace
}  // namespace lumacore
