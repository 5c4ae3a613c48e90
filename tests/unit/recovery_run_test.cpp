#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "session/fat_recover_run.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using ItemId = FatResultTree::ItemId;

// A drive with files in its root, a checked folder two levels deep, an unchecked folder (whose own
// checked contents must stay unwritten) and a folder whose name needs sanitising.
class FatRecoverRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-run-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dest_ = pattern;

        root_ = Folder(FatResultTree::kNoItem, "(F:\\) FAT32", true);
        AddFile(root_, "a.txt", true);
        AddFile(root_, "b.txt", false);
        AddFile(root_, "\"q.txt", true);  // quote first: skipped
        AddFile(root_, "ab\"c", true);    // quote third: skipped
        AddFile(root_, "abc\"d", true);   // quote fourth: written
        AddFile(root_, "dup.txt", true);
        AddFile(root_, "dup.txt", true);
        const ItemId docs = Folder(root_, "Docs", true);
        AddFile(docs, "r.doc", true);
        const ItemId deep = Folder(docs, "Deep", true);
        AddFile(deep, "d.txt", true);
        const ItemId skipped = Folder(root_, "Skip", false);
        AddFile(skipped, "s.txt", true);
        const ItemId inner = Folder(skipped, "Inner", true);
        AddFile(inner, "i.txt", true);
        const ItemId slashed = Folder(root_, "a/b", true);
        AddFile(slashed, "x", true);
    }
    void TearDown() override { fs::remove_all(dest_); }

    ItemId Folder(ItemId parent, std::string name, bool checked) {
        const ItemId id = tree_.InsertLast(parent, std::move(name));
        tree_.item(id).checked = checked;
        return id;
    }
    void AddFile(ItemId folder, std::string name, bool checked) {
        auto node = std::make_unique<FatFileNode>();
        node->size = static_cast<std::uint32_t>(Content(name).size());
        node->displayName = std::move(name);
        node->checked = checked;
        tree_.item(folder).data.push_back(std::move(node));
    }
    static std::string Content(const std::string& name) { return "data of " + name; }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Copies each file's made-up content and notes the progress the run showed while it did.
    RecoverRunResult Run(RecoveredFileWriter& writer) {
        return RunFatRecovery(tree_, root_, writer, progress_, stop_,
                              [this](const FatFileNode& node, OutputFile& out) {
                                  seen_.emplace_back(progress_.Text(), progress_.Done());
                                  if (node.displayName == stopAt_) stop_.RequestStop();
                                  const std::string text = Content(node.displayName);
                                  return out.Write(std::as_bytes(std::span(text)));
                              });
    }

    fs::path dest_;
    FatResultTree tree_;
    ItemId root_ = FatResultTree::kNoItem;
    ProgressFields progress_;
    StopToken stop_;
    std::string stopAt_;
    std::vector<std::pair<std::string, std::int64_t>> seen_;
};

TEST_F(FatRecoverRunTest, MirrorsTheCheckedTree) {
    RecoveredFileWriter writer(dest_, OverwritePolicy::Ask, nullptr, {});
    const RecoverRunResult result = Run(writer);

    EXPECT_EQ(result.filesWritten, 7u);
    EXPECT_EQ(result.failures, 0u);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(Read(dest_ / "a.txt"), Content("a.txt"));
    EXPECT_EQ(Read(dest_ / "abc\"d"), Content("abc\"d"));
    EXPECT_TRUE(fs::exists(dest_ / "dup (2).txt"));
    EXPECT_EQ(Read(dest_ / "Docs" / "r.doc"), Content("r.doc"));
    EXPECT_EQ(Read(dest_ / "Docs" / "Deep" / "d.txt"), Content("d.txt"));
    EXPECT_EQ(Read(dest_ / "a_b" / "x"), Content("x"));
    for (const char* absent : {"b.txt", "\"q.txt", "ab\"c", "Skip", "(F:\\) FAT32"}) {
        EXPECT_FALSE(fs::exists(dest_ / absent)) << absent;
    }
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dest_)) {
        if (entry.is_regular_file()) bytes += entry.file_size();
    }
    EXPECT_EQ(result.bytesWritten, bytes);

    // Breadth first: the root's files, then each checked folder of the next level, then deeper ones.
    const std::vector<std::pair<std::string, std::int64_t>> expected{
        {"a.txt", 0}, {"abc\"d", 1}, {"dup.txt", 2}, {"dup.txt", 3}, {"r.doc", 4}, {"x", 5}, {"d.txt", 6}};
    EXPECT_EQ(seen_, expected);
    EXPECT_EQ(progress_.Total(), 7);
    EXPECT_EQ(progress_.Done(), 7);
}

TEST_F(FatRecoverRunTest, UncheckedRootDoesNothing) {
    tree_.item(root_).checked = false;
    progress_.Start("before", 99);
    RecoveredFileWriter writer(dest_, OverwritePolicy::Ask, nullptr, {});
    const RecoverRunResult result = Run(writer);
    EXPECT_EQ(result.filesWritten, 0u);
    EXPECT_EQ(progress_.Total(), 99);
    EXPECT_TRUE(fs::is_empty(dest_));
}

TEST_F(FatRecoverRunTest, CancelAtTheOverwriteQuestionEndsTheRun) {
    fs::create_directory(dest_ / "Docs");
    std::ofstream(dest_ / "Docs" / "r.doc") << "old";
    int asked = 0;
    RecoveredFileWriter writer(dest_, OverwritePolicy::Ask,
                               [&](const std::string&) {
                                   ++asked;
                                   return OverwriteAnswer::Cancel;
                               },
                               {});
    const RecoverRunResult result = Run(writer);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(result.filesWritten, 4u);  // the root's files came before
    EXPECT_EQ(Read(dest_ / "Docs" / "r.doc"), "old");
    EXPECT_FALSE(fs::exists(dest_ / "a_b"));  // the walk ended before the next folder
    EXPECT_FALSE(fs::exists(dest_ / "Docs" / "Deep"));
}

TEST_F(FatRecoverRunTest, KeptAndFailedFilesAreCounted) {
    std::ofstream(dest_ / "a.txt") << "old";
    tree_.item(root_).data[0]->size = 3;  // shorter than what the copy writes: cut back to 3 bytes
    RecoveredFileWriter writer(dest_, OverwritePolicy::Never, nullptr, {});
    fs::create_symlink("/nonexistent", dest_ / "x");  // not where a_b/x goes: only a name in the root
    fs::create_symlink("/nonexistent", dest_ / "abc\"d");
    const RecoverRunResult result = Run(writer);
    EXPECT_EQ(result.keptExisting, 1u);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(result.filesWritten, 5u);
    EXPECT_EQ(Read(dest_ / "a.txt"), "old");
    ASSERT_EQ(writer.failures().size(), 1u);
    EXPECT_EQ(writer.failures()[0].name, "abc\"d");
}

TEST_F(FatRecoverRunTest, StopEndsTheRunAfterTheCurrentFile) {
    stopAt_ = "dup.txt";
    RecoveredFileWriter writer(dest_, OverwritePolicy::Ask, nullptr, {});
    const RecoverRunResult result = Run(writer);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.filesWritten, 3u);
    EXPECT_FALSE(fs::exists(dest_ / "dup (2).txt"));
    EXPECT_FALSE(fs::exists(dest_ / "Docs"));
}

TEST_F(FatRecoverRunTest, FilesBelowAFolderThatCannotBeMadeAreFailures) {
    RecoveredFileWriter writer(dest_ / "gone", OverwritePolicy::Ask, nullptr, {});
    const RecoverRunResult result = Run(writer);
    EXPECT_EQ(result.filesWritten, 0u);
    EXPECT_EQ(result.failures, 7u);
    EXPECT_EQ(progress_.Done(), 7);
}

}  // namespace
}  // namespace lumacore
