// The writer's extras: times given to files and folders, the sha256 taken on the way out (holes and
// an extended tail included, bytes past the size left out), the report texts, and how found-file
// times are decoded.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/file_times.h"
#include "core/sha256.h"
#include "recovery/recovered_file_writer.h"
#include "recovery/recovery_report.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

std::string Sha256Of(const std::string& text) {
    Sha256 digest;
    digest.Update(Bytes(text));
    return digest.HexDigest();
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(FoundFileTimes, DecodesEachFormatsTimes) {
    // 2024-03-14 10:05:00 UTC and a quarter second, as a FILETIME.
    const auto ntfs = FromFiletime(133548843002500000ull);
    ASSERT_TRUE(ntfs);
    EXPECT_EQ(ntfs->seconds, 1710410700);
    EXPECT_EQ(ntfs->nanoseconds, 250000000u);
    EXPECT_EQ(Iso8601Utc(*ntfs), "2024-03-14T10:05:00.250000000Z");
    EXPECT_FALSE(FromFiletime(0));
    EXPECT_FALSE(FromUnixSeconds(0));
    EXPECT_EQ(Iso8601Utc(*FromUnixSeconds(86400)), "1970-01-02T00:00:00Z");

    // 2024-03-14 12:05:08 written at UTC+2 (exFAT offset in 15-minute steps), with 1.5 s of hundredths.
    const std::uint16_t date = ((2024 - 1980) << 9) | (3 << 5) | 14;
    const std::uint16_t time = (12 << 11) | (5 << 5) | (8 / 2);
    const auto exfat = FromDosWithOffset(date, time, 150, 120);
    ASSERT_TRUE(exfat);
    EXPECT_EQ(Iso8601Utc(*exfat), "2024-03-14T10:05:09.500000000Z");

    // Impossible DOS fields give no time rather than a made-up one.
    EXPECT_FALSE(FromDosLocal(0, 0));
    EXPECT_FALSE(FromDosLocal(static_cast<std::uint16_t>((44 << 9) | (13 << 5) | 1), 0));  // month 13
    EXPECT_FALSE(FromDosLocal(date, static_cast<std::uint16_t>(24 << 11)));                // hour 24
}

class WriterMetadata : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-meta-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dest_ = pattern;
    }
    void TearDown() override { fs::remove_all(dest_); }

    RecoveredFileWriter Writer(WriterOptions options = {}) {
        return RecoveredFileWriter(dest_, OverwritePolicy::Never, nullptr, {}, options);
    }

    fs::path dest_;
};

TEST_F(WriterMetadata, HashCoversHolesAndTheExtendedTailButNotBytesPastTheSize) {
    RecoveredFileWriter writer = Writer();
    // A hole in the middle, a copy that stops short (the writer extends the file with zeros).
    writer.WriteFile(dest_, "holey.bin", 20, [](OutputFile& out) -> Result<void> {
        if (auto w = out.Write(Bytes("abcd")); !w) return w;
        if (auto s = out.Skip(6); !s) return s;
        return out.Write(Bytes("xyz"));
    });
    // Whole clusters written past the file's end are cut off, and not hashed.
    writer.WriteFile(dest_, "cut.bin", 5,
                     [](OutputFile& out) { return out.Write(Bytes("hello, and the rest of the cluster")); });
    // A failed copy is not a recovered file: not listed.
    writer.WriteFile(dest_, "failed.bin", 10, [](OutputFile& out) -> Result<void> {
        (void)out.Write(Bytes("par"));
        return Error::Io("read error");
    });

    ASSERT_EQ(writer.recorded().size(), 2u);
    for (const RecoveredFileRecord& file : writer.recorded()) {
        const std::string content = ReadText(dest_ / file.path);
        EXPECT_EQ(content.size(), file.size) << file.path;
        ASSERT_TRUE(file.sha256);
        EXPECT_EQ(*file.sha256, Sha256Of(content)) << file.path;
    }
    EXPECT_EQ(ReadText(dest_ / "cut.bin"), "hello");
}

TEST_F(WriterMetadata, FilesAndFoldersGetTheirTimesFoldersAfterTheirFiles) {
    RecoveredFileWriter writer = Writer();
    const FileTimes fileTimes{FileTime{1500000000, 123456789}, FileTime{1500086400, 0},
                              FileTime{1400000000, 0}};
    const FileTimes folderTimes{FileTime{1300000000, 0}, FileTime{1300000002, 0}, std::nullopt};
    auto outer = writer.EnsureFolder(dest_, "outer");
    ASSERT_TRUE(outer);
    auto inner = writer.EnsureFolder(*outer, "inner");
    ASSERT_TRUE(inner);
    writer.SetFolderTimes(*outer, folderTimes);
    writer.SetFolderTimes(*inner, folderTimes);
    // Files written after the folders' times were handed over must not move them.
    writer.WriteFile(*inner, "f.txt", 3, [](OutputFile& out) { return out.Write(Bytes("abc")); },
                     {fileTimes, {}});
    ASSERT_TRUE(writer.Finish("disk.img"));

    struct stat st {};
    ASSERT_EQ(::stat((*inner / "f.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(st.st_atim.tv_sec, 1500086400);
    for (const fs::path& folder : {*outer, *inner}) {
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, 1300000000) << folder;
        EXPECT_EQ(st.st_atim.tv_sec, 1300000002) << folder;
    }
    const std::string xml = ReadText(dest_ / kDfxmlReportName);
    EXPECT_NE(xml.find("<filename>outer/inner/f.txt</filename>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<crtime>2014-05-13T16:53:20Z</crtime>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<image_filename>disk.img</image_filename>"), std::string::npos) << xml;
    EXPECT_EQ(ReadText(dest_ / kSha256ListName), Sha256Of("abc") + "  outer/inner/f.txt\n");
}

TEST_F(WriterMetadata, SwitchedOffTheWriterLeavesTimesAndReportsAlone) {
    RecoveredFileWriter writer = Writer({false, false, false});
    const FileTimes times{FileTime{1000000000, 0}, FileTime{1000000000, 0}, std::nullopt};
    writer.WriteFile(dest_, "f.txt", 3, [](OutputFile& out) { return out.Write(Bytes("abc")); }, {times, {}});
    ASSERT_TRUE(writer.Finish());
    struct stat st {};
    ASSERT_EQ(::stat((dest_ / "f.txt").c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, 1000000000);
    EXPECT_TRUE(writer.recorded().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dest_), {}), 1);
}

TEST(RecoveryReportText, EscapesNamesTheWaySha256sumAndXmlNeed) {
    RecoveredFileRecord odd;
    odd.path = "a\\b & <c>.txt";
    odd.size = 3;
    odd.sha256 = std::string(64, 'f');
    odd.byteRuns = {{0, 1048576, 2048}, {2048, 4194304, 1}};
    RecoveredFileRecord unhashed;
    unhashed.path = "plain";
    EXPECT_EQ(Sha256ListText({odd, unhashed}), "\\" + std::string(64, 'f') + "  a\\\\b & <c>.txt\n");
    const std::string xml = DfxmlReportText({odd}, "x&y.E01");
    EXPECT_NE(xml.find("<filename>a\\b &amp; &lt;c&gt;.txt</filename>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<image_filename>x&amp;y.E01</image_filename>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<byte_run file_offset=\"2048\" img_offset=\"4194304\" len=\"1\"/>"),
              std::string::npos)
        << xml;
}

}  // namespace
}  // namespace lumacore
