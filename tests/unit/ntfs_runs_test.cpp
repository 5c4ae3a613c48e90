#include <gtest/gtest.h>

#include <vector>

#include "core/ntfs_runs.h"

namespace lumacore {
namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

TEST(RunList, DecodesRelativeOffsetsHolesAndTheTerminator) {
    // 0x18 clusters at 0x5634; 0x10 clusters 0x100 back (negative delta); a hole of 8; 4 clusters at +0x20.
    const auto pairs = Bytes({0x21, 0x18, 0x34, 0x56, 0x21, 0x10, 0x00, 0xFF, 0x01, 0x08, 0x11, 0x04, 0x20, 0x00});
    const RunListResult r = DecodeRunList(pairs, 0, {});
    ASSERT_TRUE(r.complete);
    ASSERT_EQ(r.runs.size(), 4u);
    EXPECT_EQ(r.runs[0].lcn, 0x5634u);
    EXPECT_EQ(r.runs[0].length, 0x18u);
    EXPECT_EQ(r.runs[1].lcn, 0x5534u);
    EXPECT_EQ(r.runs[1].vcn, 0x18u);
    EXPECT_TRUE(r.runs[2].sparse);
    EXPECT_EQ(r.runs[2].length, 8u);
    EXPECT_EQ(r.runs[3].lcn, 0x5554u);  // relative to the last real run, not the hole
    EXPECT_EQ(r.runs[3].vcn, 0x18u + 0x10 + 8);
}

TEST(RunList, CorruptListsEndCleanly) {
    // No terminator: what was decoded stays, the list is not complete.
    auto r = DecodeRunList(Bytes({0x11, 0x04, 0x10}), 0, {});
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.runs.size(), 1u);

    // A run whose bytes are cut off.
    r = DecodeRunList(Bytes({0x31, 0x04, 0x10}), 0, {});
    EXPECT_FALSE(r.complete);
    EXPECT_TRUE(r.runs.empty());

    // A run outside the volume stops the list.
    r = DecodeRunList(Bytes({0x11, 0x04, 0x10, 0x11, 0x04, 0x70, 0x00}), 0, RunListLimits{100, 0x40});
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.runs.size(), 1u);

    // A run that would go below cluster 0.
    r = DecodeRunList(Bytes({0x11, 0x04, 0x80, 0x00}), 0, {});
    EXPECT_TRUE(r.runs.empty());

    // Terabytes claimed in one run.
    r = DecodeRunList(Bytes({0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00}), 0, {});
    EXPECT_TRUE(r.runs.empty());

    // Too many runs.
    std::vector<std::byte> many;
    for (int i = 0; i < 50; ++i) {
        for (int b : {0x11, 0x01, 0x01}) many.push_back(static_cast<std::byte>(b));
    }
    many.push_back(std::byte{0});
    r = DecodeRunList(many, 0, RunListLimits{10, 0});
    EXPECT_EQ(r.runs.size(), 10u);
    EXPECT_FALSE(r.complete);
}

TEST(UpdateSequence, RestoresStrideTailsOrRefusesInconsistentArrays) {
    std::vector<std::byte> record(1024);
    record[4] = std::byte{0x30};  // array at 0x30
    record[6] = std::byte{3};     // sequence number + 2 strides
    record[0x30] = std::byte{0x07};
    record[0x32] = std::byte{0xAA};
    record[0x33] = std::byte{0xBB};
    record[0x34] = std::byte{0xCC};
    record[0x35] = std::byte{0xDD};
    record[510] = std::byte{0x07};
    record[1022] = std::byte{0x07};
    std::vector<std::byte> copy = record;
    ASSERT_TRUE(ApplyUpdateSequence(record, 512));
    EXPECT_EQ(record[510], std::byte{0xAA});
    EXPECT_EQ(record[511], std::byte{0xBB});
    EXPECT_EQ(record[1022], std::byte{0xCC});
    EXPECT_EQ(record[1023], std::byte{0xDD});

    copy[1022] = std::byte{0x08};  // a torn write: the second stride is from another update
    const std::vector<std::byte> before = copy;
    EXPECT_FALSE(ApplyUpdateSequence(copy, 512));
    EXPECT_EQ(copy, before);

    copy[6] = std::byte{9};  // more strides than the record holds
    EXPECT_FALSE(ApplyUpdateSequence(copy, 512));
    copy[6] = std::byte{3};
    copy[4] = std::byte{0xFE};
    copy[5] = std::byte{0x03};  // array outside the record
    EXPECT_FALSE(ApplyUpdateSequence(copy, 512));
}

}  // namespace
}  // namespace lumacore
