// The writer's two ways of hashing: blocks hashed in order on a second thread as they are written, and
// large files hashed by reading them back once written, several at a time. Either way the digest must
// be that of the file's final bytes (holes, an extended tail, a cut-off cluster), each in its own slot,
// and a file that cannot be read back must say so rather than get a wrong digest.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_descriptor.h"
#include "recovery/background_hasher.h"
#include "recovery/output_file.h"
#include "recovery/readback_hasher.h"
#include "recovery/recovered_file_writer.h"
#include "recovery/recovery_report.h"

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

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ReadBack : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-readback-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes `data` to a new file and returns a descriptor that reads it.
    FileDescriptor Written(const std::string& name, const std::vector<std::byte>& data) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                    static_cast<std::streamsize>(data.size()));
        return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    }

    fs::path dir_;
};

// More files than the workers and their queue hold, of sizes around the read size, one empty and one
// that cannot be read: every digest lands in its own slot, and a second round starts afresh.
TEST_F(ReadBack, HashesManyFilesAtOnceInTheOrderAdded) {
    ReadBackHasher hasher(2);
    const std::size_t sizes[] = {0, 1, ReadBackHasher::kChunkBytes - 1, ReadBackHasher::kChunkBytes,
                                 3 * ReadBackHasher::kChunkBytes + 7, 65537, 5};
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::vector<std::byte> data = Pattern(sizes[i], static_cast<std::uint32_t>(i + 1));
        FileDescriptor fd = Written("f" + std::to_string(i), data);
        ASSERT_TRUE(fd.valid());
        hasher.Add(std::move(fd), data.size());
        expected.push_back(InlineDigest(data));
    }
    // Write-only: the read back fails, and says so in its own slot.
    const fs::path writeOnly = dir_ / "write-only";
    std::ofstream(writeOnly) << "data";
    hasher.Add(FileDescriptor(::open(writeOnly.c_str(), O_WRONLY | O_CLOEXEC)), 4);
    // Shorter than claimed: an error, not the digest of a zero-padded file.
    hasher.Add(Written("short", Pattern(10, 9)), 20);

    std::vector<Result<std::string>> digests = hasher.TakeAll();
    ASSERT_EQ(digests.size(), expected.size() + 2);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(digests[i]) << i << ": " << digests[i].error().message;
        EXPECT_EQ(*digests[i], expected[i]) << i;
    }
    EXPECT_FALSE(digests[expected.size()]);
    EXPECT_FALSE(digests[expected.size() + 1]);

    const std::vector<std::byte> later = Pattern(100, 42);
    hasher.Add(Written("later", later), later.size());
    digests = hasher.TakeAll();
    ASSERT_EQ(digests.size(), 1u);
    ASSERT_TRUE(digests[0]);
    EXPECT_EQ(*digests[0], InlineDigest(later));
    EXPECT_TRUE(hasher.TakeAll().empty());
}

// The bytes written so far, then zeros for a trailing hole that has no length on disk yet.
TEST_F(ReadBack, WrittenBytesEndInZerosForATrailingHole) {
    const std::vector<std::byte> data = Pattern(3000, 5);
    FileDescriptor fd = Written("head", data);
    Sha256 sha;
    ASSERT_TRUE(HashWrittenBytes(fd.get(), data.size(), data.size() + 5000, sha));
    std::vector<std::byte> expected = data;
    expected.resize(data.size() + 5000);
    EXPECT_EQ(sha.HexDigest(), InlineDigest(expected));
}

// Through the writer: large files (hashed by reading back) and a small one (hashed on the way out), with
// a hole, a copy that stops short and clusters past the end, and a copy that asks for the digest of what
// it handed over (as the carver does): every digest is that of the file as it ends up on disk.
TEST_F(ReadBack, WriterDigestsAreThoseOfTheFilesOnDisk) {
    constexpr std::size_t kMiB = 1 << 20;
    const std::vector<std::byte> data = Pattern(9 * kMiB + 123, 7);
    RecoveredFileWriter writer(dir_, OverwritePolicy::Never, nullptr, {});
    std::vector<std::string> carved;
    for (int i = 0; i < 5; ++i) {
        writer.WriteFile(dir_, "large" + std::to_string(i) + ".bin", data.size() + 2 * kMiB,
                         [&](OutputFile& out) -> Result<void> {
                             if (auto w = out.Write(std::span(data).first(kMiB)); !w) return w;
                             if (auto s = out.Skip(kMiB + static_cast<std::uint64_t>(i)); !s) return s;
                             return out.Write(std::span(data).subspan(kMiB));  // past the end by i bytes
                         });
    }
    writer.WriteFile(dir_, "short.bin", data.size() + kMiB,
                     [&](OutputFile& out) { return out.Write(data); });  // the writer adds the tail
    writer.WriteFile(dir_, "carved.bin", data.size(), [&](OutputFile& out) -> Result<void> {
        if (auto w = out.Write(data); !w) return w;
        std::optional<Sha256> soFar = out.DigestSoFar();
        if (soFar) carved.push_back(soFar->HexDigest());
        return {};
    });
    writer.WriteFile(dir_, "small.bin", 4, [&](OutputFile& out) { return out.Write(std::span(data).first(4)); });
    ASSERT_TRUE(writer.Finish());

    ASSERT_EQ(writer.recorded().size(), 8u);
    EXPECT_TRUE(writer.failures().empty());
    for (const RecoveredFileRecord& file : writer.recorded()) {
        const std::string content = ReadText(dir_ / file.path);
        EXPECT_EQ(content.size(), file.size) << file.path;
        ASSERT_TRUE(file.sha256) << file.path;
        EXPECT_EQ(*file.sha256, InlineDigest(std::as_bytes(std::span(content.data(), content.size()))))
            << file.path;
    }
    ASSERT_EQ(carved.size(), 1u);
    EXPECT_EQ(carved[0], InlineDigest(data));
    // The list beside the files has them all, in the order written.
    const std::string list = ReadText(dir_ / kSha256ListName);
    EXPECT_NE(list.find("  large0.bin\n"), std::string::npos) << list;
    EXPECT_LT(list.find("  large4.bin\n"), list.find("  short.bin\n")) << list;
    EXPECT_NE(list.find(*writer.recorded()[6].sha256 + "  carved.bin\n"), std::string::npos) << list;
}

}  // namespace
}  // namespace lumacore
