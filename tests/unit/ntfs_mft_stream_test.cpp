// The MFT stream: whole records in order, windows that end where the MFT ends, and a stop that is
// honoured at the window it is given in.
#include <gtest/gtest.h>

#include <cstring>

#include "engines/ntfs/ntfs_mft_stream.h"

namespace lumacore {
namespace {

constexpr std::uint32_t kRecordSize = 1024;

std::vector<std::byte> NumberedRecords(std::uint64_t count) {
    std::vector<std::byte> mft(count * kRecordSize);
    for (std::uint64_t n = 0; n < count; ++n) std::memcpy(&mft[n * kRecordSize], &n, sizeof n);
    return mft;
}

NtfsMftStream::Reader ReaderOf(const std::vector<std::byte>& mft) {
    return [&mft](std::uint64_t position, std::span<std::byte> out) {
        ASSERT_LE(position + out.size(), mft.size());
        std::memcpy(out.data(), mft.data() + position, out.size());
    };
}

TEST(NtfsMftStream, HandsOnEveryRecordOnceInOrder) {
    const std::uint64_t perWindow = NtfsMftStream::kWindowBytes / kRecordSize;
    for (const std::uint64_t count : {std::uint64_t{1}, perWindow, perWindow + 1, 3 * perWindow - 7}) {
        SCOPED_TRACE(count);
        const auto mft = NumberedRecords(count);
        std::uint64_t expected = 0;
        int windows = 0;
        NtfsMftStream(ReaderOf(mft), count, kRecordSize)
            .ForEachWindow([&](std::uint64_t first, std::span<const std::byte> records) {
                ++windows;
                EXPECT_EQ(first, expected);
                EXPECT_EQ(records.size() % kRecordSize, 0u);
                EXPECT_LE(records.size(), NtfsMftStream::kWindowBytes);
                for (std::size_t at = 0; at < records.size(); at += kRecordSize) {
                    std::uint64_t n = 0;
                    std::memcpy(&n, records.data() + at, sizeof n);
                    EXPECT_EQ(n, expected++);
                }
                return true;
            });
        EXPECT_EQ(expected, count);
        EXPECT_EQ(windows, static_cast<int>((count + perWindow - 1) / perWindow));
    }
}

TEST(NtfsMftStream, StopsAtTheWindowThatSaysSo) {
    const std::uint64_t count = 3 * NtfsMftStream::kWindowBytes / kRecordSize;
    const auto mft = NumberedRecords(count);
    int windows = 0;
    NtfsMftStream(ReaderOf(mft), count, kRecordSize)
        .ForEachWindow([&](std::uint64_t, std::span<const std::byte>) { return ++windows < 2; });
    EXPECT_EQ(windows, 2);

    // Nothing to read: no window at all.
    NtfsMftStream(ReaderOf(mft), 0, kRecordSize)
        .ForEachWindow([&](std::uint64_t, std::span<const std::byte>) {
            ADD_FAILURE() << "a window of an empty MFT";
            return true;
        });
}

}  // namespace
}  // namespace lumacore
