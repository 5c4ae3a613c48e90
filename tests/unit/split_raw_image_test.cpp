// A split raw image reads as the one disk its pieces make, across every seam, and only a set that
// starts at its first piece is taken for one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/image_opener.h"
#include "platform/split_raw_image.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

class SplitRawImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-split-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        // Pieces of unequal sizes, one of them empty: nothing but the order may be assumed.
        const std::size_t sizes[] = {1000, 0, 4096, 3};
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            std::string piece;
            for (std::size_t b = 0; b < sizes[i]; ++b)
                piece.push_back(static_cast<char>((whole_.size() + b) * 7 % 251));
            whole_ += piece;
            std::ofstream(dir_ / ("disk.00" + std::to_string(i + 1)), std::ios::binary) << piece;
        }
        std::ofstream(dir_ / "disk.006", std::ios::binary) << "after a gap: not part of the set";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string whole_;
};

TEST_F(SplitRawImageTest, ReadsAcrossSeamsAsOneDisk) {
    const auto segments = SplitRawSegments((dir_ / "disk.001").string());
    ASSERT_EQ(segments.size(), 4u);
    auto image = OpenImage((dir_ / "disk.001").string(), AccessMode::ReadOnly);
    ASSERT_TRUE(image);
    ASSERT_EQ((*image)->Size(), whole_.size());
    for (const auto& [offset, length] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, whole_.size()}, {990, 20}, {999, 1}, {1000, 4096}, {5090, 100}, {5098, 1}}) {
        std::string got(length, '\0');
        auto read = (*image)->ReadAt(offset, std::as_writable_bytes(std::span<char>(got.data(), got.size())));
        ASSERT_TRUE(read);
        const std::size_t expected = std::min(length, whole_.size() - std::min(offset, whole_.size()));
        ASSERT_EQ(*read, expected) << offset;
        EXPECT_EQ(got.substr(0, expected), whole_.substr(offset, expected)) << offset;
    }
    EXPECT_FALSE((*image)->WriteAt(0, std::as_bytes(std::span<const char>("x", 1))));
    EXPECT_EQ(ImageFiles((dir_ / "disk.001").string()).size(), 4u);
}

TEST_F(SplitRawImageTest, OnlyTheFirstPieceNamesASet) {
    EXPECT_TRUE(SplitRawSegments((dir_ / "disk.002").string()).empty());
    EXPECT_TRUE(SplitRawSegments((dir_ / "disk.1").string()).empty());
    EXPECT_TRUE(SplitRawSegments("no-dot").empty());
    // A lone "x.001" is a plain raw image.
    std::ofstream(dir_ / "lone.001", std::ios::binary) << "abc";
    auto lone = OpenImage((dir_ / "lone.001").string(), AccessMode::ReadOnly);
    ASSERT_TRUE(lone);
    EXPECT_EQ((*lone)->Size(), 3u);
    EXPECT_FALSE(IsContainerImage((dir_ / "lone.001").string()));
}

}  // namespace
}  // namespace lumacore
