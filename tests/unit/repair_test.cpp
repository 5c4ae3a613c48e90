#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "repair/repair_run.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

class RepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumacore-repair-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::create_directories(dir_ / "in");
        fs::create_directories(dir_ / "out");
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / "in" / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A mail folder file: "LocalStore\0" at 9409 and `value` at 0xC4.
    static std::string MailFolder(std::uint32_t value) {
        std::string bytes(12000, 'x');
        bytes.replace(9409, 11, std::string("LocalStore\0", 11));
        for (int i = 0; i < 4; ++i) bytes[0xC4 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    }
    std::string Run(std::vector<fs::path> files, MailRepairKind kind, OverwritePolicy policy = OverwritePolicy::Ask,
                    AskOverwrite ask = {}) {
        return RunMailRepair(files, dir_ / "out", kind, policy, ask);
    }
    static std::string Entry(const std::string& name, const std::string& result) {
        return "Selected file: " + name + "\r\n" + result + "\r\n" + std::string(43, '-') + "\r\n";
    }

    fs::path dir_;
};

TEST_F(RepairTest, MailFolderHeaderIsRewrittenInTheCopyOnly) {
    const std::string original = MailFolder(7);
    const fs::path source = Write("Inbox.dbx", original);
    EXPECT_EQ(Run({source}, kRepairMailFolder), Entry("Inbox.dbx", "Repaired"));
    const std::string copy = Read(dir_ / "out" / "Inbox.dbx");
    ASSERT_EQ(copy.size(), original.size());
    EXPECT_EQ(copy.substr(0, 8), std::string("\xCF\xAD\x12\xFE\xC5\xFD\x74\x6F", 8));
    EXPECT_EQ(copy.substr(8), original.substr(8));
    EXPECT_EQ(Read(source), original);
}

TEST_F(RepairTest, MailFolderResultsAndTheirLogLines) {
    // Exactly two 1024-byte units: the copy ends with an empty read, then the check fails.
    const fs::path small = Write("small.dbx", std::string(2048, 'a'));
    const fs::path minusOne = Write("bad.dbx", MailFolder(0xFFFFFFFF));
    EXPECT_EQ(Run({small, minusOne}, kRepairMailFolder),
              Entry("small.dbx", "Unsupported format") + Entry("bad.dbx", "Repair failed"));
    EXPECT_EQ(Read(dir_ / "out" / "small.dbx"), std::string(2048, 'a'));  // the unrepaired copy stays
    // The copy whose result reads as a failure was still rewritten, and is kept.
    EXPECT_EQ(Read(dir_ / "out" / "bad.dbx").substr(0, 4), std::string("\xCF\xAD\x12\xFE", 4));
}

TEST_F(RepairTest, PersonalFolderGetsItsSignatureWhateverItHolds) {
    const fs::path any = Write("notes.pst", "hello, world");
    const fs::path empty = Write("empty.pst", "");
    EXPECT_EQ(Run({any, empty}, kRepairPersonalFolder), Entry("notes.pst", "Repaired") + Entry("empty.pst", "Repaired"));
    EXPECT_EQ(Read(dir_ / "out" / "notes.pst"), "!BDNo, world");
    EXPECT_EQ(Read(dir_ / "out" / "empty.pst"), "!BDN");
}

TEST_F(RepairTest, TheSourceItselfIsNeverTheTarget) {
    const std::string original = MailFolder(3);
    const fs::path source = Write("Sent.dbx", original);
    EXPECT_EQ(RunMailRepair({source}, dir_ / "in", kRepairMailFolder, OverwritePolicy::Always, {}),
              Entry("Sent.dbx", "Repair failed"));
    EXPECT_EQ(Read(source), original);

    // Nor through a link to its folder.
    fs::create_directory_symlink(dir_ / "in", dir_ / "alias");
    EXPECT_EQ(RunMailRepair({source}, dir_ / "alias", kRepairPersonalFolder, OverwritePolicy::Always, {}),
              Entry("Sent.dbx", "Repair failed"));
    EXPECT_EQ(Read(source), original);
}

TEST_F(RepairTest, ExistingTargetsAreAskedAbout) {
    const fs::path a = Write("a.pst", "aaaa-data");
    const fs::path b = Write("b.pst", "bbbb-data");
    const fs::path c = Write("c.pst", "cccc-data");
    for (const char* name : {"a.pst", "b.pst", "c.pst"}) std::ofstream(dir_ / "out" / name) << "old";

    std::vector<std::string> asked;
    auto answers = [&](std::vector<OverwriteAnswer> replies) {
        return [&asked, replies, i = std::size_t{0}](const std::string& name) mutable {
            asked.push_back(name);
            return i < replies.size() ? replies[i++] : OverwriteAnswer::Cancel;
        };
    };
    // No skips without a log entry; Yes repairs; Cancel ends the run with nothing more logged.
    EXPECT_EQ(Run({a, b, c}, kRepairPersonalFolder, OverwritePolicy::Ask,
                  answers({OverwriteAnswer::No, OverwriteAnswer::Yes, OverwriteAnswer::Cancel})),
              Entry("b.pst", "Repaired"));
    EXPECT_EQ(asked, (std::vector<std::string>{"a.pst", "b.pst", "c.pst"}));
    EXPECT_EQ(Read(dir_ / "out" / "a.pst"), "old");
    EXPECT_EQ(Read(dir_ / "out" / "c.pst"), "old");

    // Yes to All stops asking.
    asked.clear();
    EXPECT_EQ(Run({a, c}, kRepairPersonalFolder, OverwritePolicy::Ask, answers({OverwriteAnswer::YesToAll})),
              Entry("a.pst", "Repaired") + Entry("c.pst", "Repaired"));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Read(dir_ / "out" / "c.pst"), "!BDN-data");

    // Never keeps existing copies without asking.
    EXPECT_EQ(Run({b}, kRepairPersonalFolder, OverwritePolicy::Never), "");
}

}  // namespace
}  // namespace lumacore
