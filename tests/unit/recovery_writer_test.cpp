#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "recovery/recovered_file_writer.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

class RecoveredFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-writer-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        base_ = pattern;
        dest_ = base_ / "dest";
        fs::create_directory(dest_);
    }
    void TearDown() override { fs::remove_all(base_); }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void Put(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::function<Result<void>(OutputFile&)> Copy(std::string text, int* calls = nullptr) {
        return [text = std::move(text), calls](OutputFile& out) {
            if (calls) ++*calls;
            return out.Write(std::as_bytes(std::span(text)));
        };
    }

    // A writer whose overwrite question answers from `answers` in turn and records what it was asked.
    RecoveredFileWriter Asking(std::vector<OverwriteAnswer> answers) {
        return RecoveredFileWriter(dest_, OverwritePolicy::Ask,
                                   [this, answers = std::move(answers)](const std::string& name) {
                                       asked_.push_back(name);
                                       return answers.at(asked_.size() - 1);
                                   },
                                   {});
    }

    fs::path base_;
    fs::path dest_;
    std::vector<std::string> asked_;
};

using Outcome = RecoveredFileWriter::Outcome;

TEST_F(RecoveredFileWriterTest, LaysOutSanitisedFoldersAndFiles) {
    RecoveredFileWriter writer(dest_, OverwritePolicy::Ask, nullptr, {});
    const auto docs = writer.EnsureFolder(dest_, "Docs");
    ASSERT_TRUE(docs);
    EXPECT_EQ(*docs, dest_ / "Docs");
    EXPECT_TRUE(fs::is_directory(*docs));
    const auto again = writer.EnsureFolder(dest_, "Docs");  // the same item's folder asked for twice
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *docs);
    const auto slashed = writer.EnsureFolder(*docs, "a/b");
    ASSERT_TRUE(slashed);
    EXPECT_EQ(*slashed, dest_ / "Docs" / "a_b");
    const auto clash = writer.EnsureFolder(*docs, "a_b");  // another folder that sanitises alike
    ASSERT_TRUE(clash);
    EXPECT_EQ(*clash, dest_ / "Docs" / "a_b (2)");

    EXPECT_EQ(writer.WriteFile(*slashed, "x/y.txt", 5, Copy("hello")), Outcome::Written);
    EXPECT_EQ(writer.WriteFile(*slashed, "x_y.txt", 3, Copy("two")), Outcome::Written);
    EXPECT_EQ(writer.WriteFile(dest_, "..", 1, Copy("p")), Outcome::Written);
    EXPECT_EQ(Read(*slashed / "x_y.txt"), "hello");
    EXPECT_EQ(Read(*slashed / "x_y (2).txt"), "two");
    EXPECT_EQ(Read(dest_ / "__"), "p");
    EXPECT_FALSE(fs::exists(base_ / "p"));
    EXPECT_TRUE(writer.failures().empty());
}

TEST_F(RecoveredFileWriterTest, FileEndsUpExactlyTheGivenSize) {
    RecoveredFileWriter writer(dest_, OverwritePolicy::Always, nullptr, {});
    EXPECT_EQ(writer.WriteFile(dest_, "short", 5, Copy("abc")), Outcome::Written);
    EXPECT_EQ(Read(dest_ / "short"), std::string("abc\0\0", 5));
    EXPECT_EQ(writer.WriteFile(dest_, "long", 2, Copy("abcdef")), Outcome::Written);
    EXPECT_EQ(Read(dest_ / "long"), "ab");

    Put(dest_ / "old", "an old file much longer than the new one");
    EXPECT_EQ(writer.WriteFile(dest_, "old", 3, Copy("new")), Outcome::Written);
    EXPECT_EQ(Read(dest_ / "old"), "new");
}

TEST_F(RecoveredFileWriterTest, OverwriteAnswers) {
    Put(dest_ / "yes", "old yes");
    Put(dest_ / "no", "old no");
    Put(dest_ / "all1", "old all1");
    Put(dest_ / "all2", "old all2");
    RecoveredFileWriter writer =
        Asking({OverwriteAnswer::Yes, OverwriteAnswer::No, OverwriteAnswer::YesToAll});
    int copies = 0;
    EXPECT_EQ(writer.WriteFile(dest_, "yes", 3, Copy("new", &copies)), Outcome::Written);
    EXPECT_EQ(writer.WriteFile(dest_, "no", 3, Copy("new", &copies)), Outcome::KeptExisting);
    EXPECT_EQ(copies, 1);  // a kept file is never opened for its data
    EXPECT_EQ(writer.WriteFile(dest_, "all1", 3, Copy("new")), Outcome::Written);
    EXPECT_EQ(writer.policy(), OverwritePolicy::Always);
    EXPECT_EQ(writer.WriteFile(dest_, "all2", 3, Copy("new")), Outcome::Written);  // not asked again
    EXPECT_EQ(asked_, (std::vector<std::string>{"yes", "no", "all1"}));
    EXPECT_EQ(Read(dest_ / "yes"), "new");
    EXPECT_EQ(Read(dest_ / "no"), "old no");
    EXPECT_EQ(Read(dest_ / "all1"), "new");
    EXPECT_EQ(Read(dest_ / "all2"), "new");
    EXPECT_FALSE(writer.cancelled());
}

TEST_F(RecoveredFileWriterTest, CancelKeepsTheFileAndEndsTheWriter) {
    Put(dest_ / "f", "old");
    RecoveredFileWriter writer = Asking({OverwriteAnswer::Cancel});
    EXPECT_EQ(writer.WriteFile(dest_, "f", 3, Copy("new")), Outcome::Cancelled);
    EXPECT_TRUE(writer.cancelled());
    EXPECT_EQ(Read(dest_ / "f"), "old");
    EXPECT_EQ(writer.WriteFile(dest_, "fresh", 3, Copy("new")), Outcome::Cancelled);
    EXPECT_FALSE(fs::exists(dest_ / "fresh"));
    EXPECT_EQ(asked_.size(), 1u);
}

TEST_F(RecoveredFileWriterTest, PoliciesThatDoNotAsk) {
    Put(dest_ / "f", "old");
    int asks = 0;
    const AskOverwrite counting = [&](const std::string&) {
        ++asks;
        return OverwriteAnswer::Yes;
    };
    RecoveredFileWriter never(dest_, OverwritePolicy::Never, counting, {});
    EXPECT_EQ(never.WriteFile(dest_, "f", 3, Copy("new")), Outcome::KeptExisting);
    EXPECT_EQ(never.WriteFile(dest_, "g", 3, Copy("new")), Outcome::Written);  // new files are still written
    RecoveredFileWriter always(dest_, OverwritePolicy::Always, counting, {});
    EXPECT_EQ(always.WriteFile(dest_, "f", 3, Copy("new")), Outcome::Written);
    EXPECT_EQ(Read(dest_ / "f"), "new");
    RecoveredFileWriter noQuestion(dest_, OverwritePolicy::Ask, nullptr, {});
    EXPECT_EQ(noQuestion.WriteFile(dest_, "f", 3, Copy("xyz")), Outcome::KeptExisting);
    EXPECT_EQ(asks, 0);
    EXPECT_EQ(Read(dest_ / "f"), "new");
}

TEST_F(RecoveredFileWriterTest, NeverWritesOutsideTheDestination) {
    const fs::path outside = base_ / "outside";
    fs::create_directory(outside);
    Put(outside / "victim", "keep me");
    fs::create_symlink(outside / "victim", dest_ / "link.txt");
    fs::create_symlink(outside, dest_ / "sub");

    RecoveredFileWriter writer(dest_, OverwritePolicy::Always, nullptr, {});
    EXPECT_EQ(writer.WriteFile(dest_, "link.txt", 3, Copy("bad")), Outcome::Failed);
    ASSERT_EQ(writer.failures().size(), 1u);
    EXPECT_EQ(writer.failures()[0].name, "link.txt");
    EXPECT_TRUE(fs::is_symlink(dest_ / "link.txt"));

    EXPECT_EQ(writer.WriteFile(dest_ / "sub", "victim", 3, Copy("bad")), Outcome::Failed);  // linked folder
    EXPECT_EQ(writer.WriteFile(outside, "victim", 3, Copy("bad")), Outcome::Failed);
    EXPECT_EQ(writer.WriteFile(dest_ / ".." / "outside", "victim", 3, Copy("bad")), Outcome::Failed);
    EXPECT_FALSE(writer.EnsureFolder(outside, "x"));
    EXPECT_EQ(Read(outside / "victim"), "keep me");

    // A link where a folder should go is stepped around, not through.
    const auto folder = writer.EnsureFolder(dest_, "sub");
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, dest_ / "sub (2)");
    EXPECT_EQ(writer.WriteFile(*folder, "victim", 3, Copy("new")), Outcome::Written);
    EXPECT_EQ(Read(outside / "victim"), "keep me");
    EXPECT_FALSE(fs::exists(outside / "x"));
}

TEST_F(RecoveredFileWriterTest, NeverWritesTheImageBeingRead) {
    const fs::path image = dest_ / "disk.img";
    Put(image, "image bytes");
    fs::create_hard_link(image, dest_ / "again.img");
    fs::create_symlink(image, base_ / "image-link");
    // The image named through a link is still recognised.
    RecoveredFileWriter writer(dest_, OverwritePolicy::Always, nullptr,
                               {base_ / "image-link", base_ / "missing"});
    EXPECT_EQ(writer.WriteFile(dest_, "disk.img", 3, Copy("bad")), Outcome::Failed);
    EXPECT_EQ(writer.WriteFile(dest_, "again.img", 3, Copy("bad")), Outcome::Failed);
    EXPECT_EQ(Read(image), "image bytes");
    EXPECT_EQ(writer.failures().size(), 2u);
}

TEST_F(RecoveredFileWriterTest, CopyFailureKeepsWhatWasWritten) {
    Put(dest_ / "f", "a longer old file");
    RecoveredFileWriter writer(dest_, OverwritePolicy::Always, nullptr, {});
    const auto failing = [](OutputFile& out) -> Result<void> {
        const std::string part = "part";
        if (auto written = out.Write(std::as_bytes(std::span(part))); !written) return written;
        return Error::Io("read error at cluster 7", 5, 4096);
    };
    EXPECT_EQ(writer.WriteFile(dest_, "f", 100, failing), Outcome::Failed);
    EXPECT_EQ(writer.WriteFile(dest_, "g", 100, failing), Outcome::Failed);
    EXPECT_EQ(Read(dest_ / "f"), "part");
    EXPECT_EQ(Read(dest_ / "g"), "part");
    ASSERT_EQ(writer.failures().size(), 2u);
    EXPECT_EQ(writer.failures()[1].name, "g");
    EXPECT_EQ(writer.failures()[1].message, "read error at cluster 7");
}

// Skipped ranges become holes: the size is kept and no space is taken for them.
TEST_F(RecoveredFileWriterTest, SkippedRangesStayHoles) {
    RecoveredFileWriter writer(dest_, OverwritePolicy::Never, {}, {});
    constexpr std::uint64_t kHole = 16u << 20;
    const auto outcome =
        writer.WriteFile(dest_, "sparse.bin", kHole + 8, [](OutputFile& out) -> Result<void> {
            const std::string head = "head";
            if (auto written = out.Write(std::as_bytes(std::span(head))); !written) return written;
            if (auto skipped = out.Skip(kHole); !skipped) return skipped;
            return out.Write(std::as_bytes(std::span(head)));
        });
    ASSERT_EQ(outcome, RecoveredFileWriter::Outcome::Written);
    struct stat st {};
    ASSERT_EQ(::stat((dest_ / "sparse.bin").c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), kHole + 8);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    EXPECT_EQ(Read(dest_ / "sparse.bin").substr(kHole + 4), "head");
}

// A file the destination has no room for is refused before anything is created.
TEST_F(RecoveredFileWriterTest, RefusesAFileLargerThanTheFreeSpace) {
    const fs::path small = base_ / "small";
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    int calls = 0;
    RecoveredFileWriter::Outcome outcome{};
    std::vector<RecoveryFailure> failures;
    {  // the writer keeps the folder open: it goes before the unmount
        RecoveredFileWriter writer(small, OverwritePolicy::Never, {}, {});
        outcome = writer.WriteFile(small, "big.bin", 4u << 20, Copy("never", &calls));
        failures = writer.failures();
    }
    const bool created = fs::exists(small / "big.bin");
    ::umount(small.c_str());
    EXPECT_EQ(outcome, RecoveredFileWriter::Outcome::Failed);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(created);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].message.find("free space"), std::string::npos);
}

TEST(HasQuoteInFirstThree, OnlyTheFirstThreeCharactersCount) {
    EXPECT_TRUE(HasQuoteInFirstThree("\"abc"));
    EXPECT_TRUE(HasQuoteInFirstThree("ab\"c"));
    EXPECT_TRUE(HasQuoteInFirstThree("\""));
    EXPECT_FALSE(HasQuoteInFirstThree("abc\"d"));
    EXPECT_FALSE(HasQuoteInFirstThree(""));
}

}  // namespace
}  // namespace lumacore
