#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_descriptor.h"
#include "recovery/background_hasher.h"
#include "recovery/output_file.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

std::vector<std::byte> Pattern(std::size_t size, std::uint32_t seed) {
    std::vector<std::byte> data(size);
    for (std::byte& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::byte>(seed >> 24);
    }
    return data;
}

std::string InlineDigest(std::span<const std::byte> data) {
    Sha256 sha;
    sha.Update(data);
    return sha.HexDigest();
}

// Two files' blocks interleaved, in pieces smaller and larger than the hasher's buffers, with more
// waiting than it has buffers: each digest gets its own bytes, in order.
TEST(BackgroundHasher, KeepsEachDigestsOrderAcrossBuffers) {
    const std::vector<std::byte> first = Pattern(9 * BackgroundHasher::kBlockBytes + 777, 1);
    const std::vector<std::byte> second = Pattern(3 * BackgroundHasher::kBlockBytes + 5, 2);
    BackgroundHasher hasher;
    Sha256 a;
    Sha256 b;
    const std::size_t pieces[] = {1, BackgroundHasher::kBlockBytes + 3, 4096, 3 * BackgroundHasher::kBlockBytes};
    std::size_t atA = 0, atB = 0;
    for (std::size_t i = 0; atA < first.size() || atB < second.size(); ++i) {
        const std::size_t piece = pieces[i % std::size(pieces)];
        const std::size_t takeA = std::min(piece, first.size() - atA);
        hasher.Add(a, std::span(first).subspan(atA, takeA));
        atA += takeA;
        const std::size_t takeB = std::min(piece / 2 + 1, second.size() - atB);
        hasher.Add(b, std::span(second).subspan(atB, takeB));
        atB += takeB;
    }
    hasher.Wait();
    EXPECT_EQ(a.HexDigest(), InlineDigest(first));
    EXPECT_EQ(b.HexDigest(), InlineDigest(second));
}

// Small pieces hashed inline, large ones on the hasher, holes as zeros and a tail past the hashed size,
// mixed in one file: the digest is that of the file's bytes.
TEST(BackgroundHasher, OutputFileMixesInlineAndBackgroundHashing) {
    std::string pattern = (fs::temp_directory_path() / "lumacore-hasher-XXXXXX").string();
    const int raw = ::mkstemp(pattern.data());
    ASSERT_GE(raw, 0);
    FileDescriptor fd(raw);
    const std::vector<std::byte> data = Pattern(2 * BackgroundHasher::kBlockBytes + 100, 3);
    const std::uint64_t hole = 300 * 1024;
    const std::uint64_t size = 1000 + data.size() + hole + 50;

    std::vector<std::byte> expected;
    expected.insert(expected.end(), data.begin(), data.begin() + 1000);
    expected.insert(expected.end(), data.begin(), data.end());
    expected.resize(expected.size() + hole);
    expected.insert(expected.end(), data.begin(), data.begin() + 50);

    BackgroundHasher hasher;
    Sha256 digest;
    {
        OutputFile out(fd.get(), "mixed", &digest, size, &hasher);
        ASSERT_TRUE(out.Write(std::span(data).first(1000)));
        ASSERT_TRUE(out.Write(data));
        ASSERT_TRUE(out.Skip(hole));
        ASSERT_TRUE(out.Write(data));  // only its first 50 bytes are inside the file's size
        out.FinishHashing();
        EXPECT_EQ(out.hashed(), size);
    }
    EXPECT_EQ(digest.HexDigest(), InlineDigest(expected));
    ::unlink(pattern.c_str());
}

}  // namespace
}  // namespace lumacore
