#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "session/ntfs_recover_run.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

class NtfsRecoverRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-ntfs-run-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dest_ = pattern;
    }
    void TearDown() override { fs::remove_all(dest_); }

    // A node with its folder chain given root-most first (stored nearest parent first, as the scan does).
    NtfsFileNode* Node(const std::string& name, std::vector<std::string> folders = {}) {
        auto node = std::make_unique<NtfsFileNode>();
        node->name = name;
        node->size = Content(name).size();
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            node->pathNames.push_back(*it);
            node->pathRecords.push_back(40);
        }
        nodes_.push_back(std::move(node));
        return nodes_.back().get();
    }
    static std::string Content(const std::string& name) { return "contents of " + name; }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    NtfsRecoverRunResult Run(const std::vector<NtfsFileNode*>& selection, OverwritePolicy policy,
                             const std::string& unreadable = {}) {
        RecoveredFileWriter writer(dest_, policy, nullptr, {});
        ProgressFields progress;
        StopToken stop;
        return RunNtfsRecovery(selection, writer, progress, stop, [&](const NtfsFileNode& node, OutputFile& out) -> Result<void> {
            const std::string text = Content(node.name);
            if (auto written = out.Write(std::as_bytes(std::span(text.data(), text.size()))); !written) return written;
            if (node.name == unreadable) return Error::Io("cluster read failed");
            return {};
        });
    }

    fs::path dest_;
    std::vector<std::unique_ptr<NtfsFileNode>> nodes_;
};

TEST_F(NtfsRecoverRunTest, WritesIntoTheStoredFolderChainAndReportsFailures) {
    NtfsFileNode* deep = Node("photo.jpg", {"Lost Files0", "Dir3", "Photos"});
    NtfsFileNode* root = Node("notes.txt");
    NtfsFileNode* quoted = Node("ab\"c.txt");
    NtfsFileNode* broken = Node("torn.bin", {"Old"});
    NtfsFileNode* blocked = Node("blocked.txt");
    fs::create_directory(dest_ / "blocked.txt");  // a folder stands where the file would go

    const auto result = Run({deep, root, quoted, broken, blocked}, OverwritePolicy::Always, "torn.bin");
    EXPECT_EQ(Read(dest_ / "Lost Files0" / "Dir3" / "Photos" / "photo.jpg"), Content("photo.jpg"));
    EXPECT_EQ(Read(dest_ / "notes.txt"), Content("notes.txt"));
    EXPECT_FALSE(fs::exists(dest_ / "ab\"c.txt"));
    EXPECT_EQ(result.filesWritten, 2u);
    EXPECT_EQ(result.failures, 2u);
    EXPECT_EQ(result.reportLines, (std::vector<std::string>{"Can not recovery file 'torn.bin'.\n",
                                                             "Can not create file 'blocked.txt'.\n"}));
    // What was read of the broken file stays.
    EXPECT_EQ(Read(dest_ / "Old" / "torn.bin"), Content("torn.bin"));
}

TEST_F(NtfsRecoverRunTest, ExistingFilesFollowThePolicy) {
    NtfsFileNode* node = Node("kept.txt");
    std::ofstream(dest_ / "kept.txt") << "older";
    auto result = Run({node}, OverwritePolicy::Never);
    EXPECT_EQ(result.keptExisting, 1u);
    EXPECT_EQ(Read(dest_ / "kept.txt"), "older");
    result = Run({node}, OverwritePolicy::Always);
    EXPECT_EQ(result.filesWritten, 1u);
    EXPECT_EQ(Read(dest_ / "kept.txt"), Content("kept.txt"));
}

TEST(NtfsRecoverReport, KeepsToItsLengthDroppingLinesThatDoNotFit) {
    NtfsRecoverRunResult result;
    result.reportLines.push_back(NtfsCannotCreateLine(std::string(200, 'a')));
    result.reportLines.push_back(NtfsCannotRecoverLine(std::string(60, 'b')));  // would pass 259
    result.reportLines.push_back(NtfsCannotCreateLine("c"));
    const std::string text = result.ReportText();
    EXPECT_LE(text.size(), kNtfsReportLimit);
    EXPECT_EQ(text, result.reportLines[0] + result.reportLines[2]);
}

}  // namespace
}  // namespace lumacore
