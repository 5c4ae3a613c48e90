// What a recovery leaves beside the data: the files' own times, and the hash list and DFXML report a
// forensic user checks the copies with. On the fixture images (their manifest says when each file was
// written) and on a FAT volume made here with mtools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <utility>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::time_t ParseUtc(const std::string& iso) {
    std::tm tm{};
    std::istringstream(iso) >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%SZ");
    return ::timegm(&tm);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class RecoveredMetadata : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            ImageFixtures::ScratchDir() / ("metadata-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "out");
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Recovers the deleted files of the volume at `start` of `image`; times are read in UTC as the
    // fixtures were made.
    testing::CommandResult Recover(const fs::path& image, std::uint32_t start,
                                   const std::string& extra = {}) {
        return RunCommand("TZ=UTC timeout 120 " + ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                          ShellQuote(image.string()) + " recover --disk 0 --start " + std::to_string(start) +
                          " --to " + ShellQuote(out().string()) + " --overwrite no " + extra +
                          " </dev/null 2>&1");
    }
    fs::path out() const { return folder_ / "out"; }

    // Every recovered file (the reports left out) by its sha256.
    std::multimap<std::string, fs::path> RecoveredByHash() const {
        std::multimap<std::string, fs::path> files;
        for (const auto& [path, sum] : testing::Sha256Tree(out())) files.emplace(sum, out() / path);
        return files;
    }

    // The list checks out with the tool people use, run in the destination, and the DFXML report has
    // one fileobject with the right digest per file listed.
    void ExpectReportsMatch() const {
        const auto check =
            RunCommand("cd " + ShellQuote(out().string()) + " && sha256sum --strict -c sha256sums.txt 2>&1");
        EXPECT_EQ(check.status, 0) << check.output;
        const std::string xml = ReadText(out() / "report.xml");
        std::size_t listed = 0;
        for (const auto& [sum, path] : RecoveredByHash()) {
            ++listed;
            const std::string relative = path.lexically_relative(out()).string();
            EXPECT_NE(xml.find("<filename>" + relative + "</filename>"), std::string::npos) << relative;
            EXPECT_NE(xml.find("<hashdigest type=\"sha256\">" + sum + "</hashdigest>"), std::string::npos)
                << relative;
        }
        std::istringstream lines(ReadText(out() / "sha256sums.txt"));
        std::size_t lineCount = 0;
        for (std::string line; std::getline(lines, line);) ++lineCount;
        EXPECT_EQ(lineCount, listed);
        EXPECT_GT(listed, 0u);
    }

    fs::path folder_;
};

struct FixtureVolume {
    std::string image;
    std::uint32_t start;
    int slackSeconds;  // FAT keeps modification times in 2-second steps
};

// Each deleted file the manifest lists that came back whole (same sha256) has the manifest's time.
TEST_F(RecoveredMetadata, RecoveredFilesKeepTheirModificationTimesOnEveryFileSystem) {
    for (const FixtureVolume& volume :
         {FixtureVolume{"fat32-deleted", 2048, 1}, FixtureVolume{"ntfs-deleted", 2048, 0},
          FixtureVolume{"ext2-deleted", 2048, 0}}) {
        SCOPED_TRACE(volume.image);
        const fs::path image = ImageFixtures::Fixture(volume.image);
        if (image.empty()) GTEST_SKIP() << volume.image << " is not there";
        fs::remove_all(out());
        fs::create_directories(out());
        const auto run = Recover(image, volume.start);
        ASSERT_EQ(run.status, 0) << run.output;
        const auto recovered = RecoveredByHash();
        int compared = 0;
        for (const auto& row : testing::ManifestRows(volume.image + ".img", volume.start)) {
            if (row[7] != "deleted" || row[6].empty() || row[4] == "0") continue;
            const auto match = recovered.equal_range(row[5]);
            for (auto it = match.first; it != match.second; ++it) {
                struct stat st {};
                ASSERT_EQ(::stat(it->second.c_str(), &st), 0);
                EXPECT_NEAR(static_cast<double>(st.st_mtime), static_cast<double>(ParseUtc(row[6])),
                            volume.slackSeconds)
                    << row[3] << " as " << it->second;
                ++compared;
            }
        }
        EXPECT_GT(compared, 0);
        ExpectReportsMatch();
        // The report names what was read, whatever the engine.
        EXPECT_NE(ReadText(out() / "report.xml").find("<image_filename>" + image.string() + "</image_filename>"),
                  std::string::npos);
    }
}

// Every byte run the report gives points at the bytes the recovered file holds at that offset, on every
// engine (NTFS's fragmented file has two runs; carved files one each).
TEST_F(RecoveredMetadata, ReportByteRunsPointAtTheFilesOwnBytes) {
    for (const auto& [name, extra] : {std::pair<std::string, std::string>{"fat32-deleted", ""},
                                      {"ntfs-deleted", ""},
                                      {"ext2-deleted", ""},
                                      {"fat32-deleted", "--mode raw"}}) {
        SCOPED_TRACE(name + " " + extra);
        const fs::path image = ImageFixtures::Fixture(name);
        if (image.empty()) GTEST_SKIP() << name << " is not there";
        fs::remove_all(out());
        fs::create_directories(out());
        const auto run = Recover(image, 2048, extra);
        ASSERT_EQ(run.status, 0) << run.output;
        const std::string xml = ReadText(out() / "report.xml");
        std::ifstream disk(image, std::ios::binary);
        int runs = 0;
        int multiRun = 0;
        for (std::size_t at = xml.find("<fileobject>"); at != std::string::npos;
             at = xml.find("<fileobject>", at + 1)) {
            const std::size_t end = xml.find("</fileobject>", at);
            const std::string object = xml.substr(at, end - at);
            const std::size_t nameAt = object.find("<filename>") + 10;
            const std::string file = object.substr(nameAt, object.find("</filename>") - nameAt);
            if (file.find('&') != std::string::npos) continue;  // an escaped name; not worth unescaping here
            std::ifstream copy(out() / file, std::ios::binary);
            ASSERT_TRUE(copy) << file;
            int fileRuns = 0;
            for (std::size_t r = object.find("<byte_run "); r != std::string::npos;
                 r = object.find("<byte_run ", r + 1)) {
                auto attribute = [&](const std::string& key) {
                    const std::size_t v = object.find(key + "=\"", r) + key.size() + 2;
                    return std::stoull(object.substr(v, object.find('"', v) - v));
                };
                const std::uint64_t fileOffset = attribute("file_offset");
                const std::uint64_t imageOffset = attribute("img_offset");
                const std::uint64_t length = std::min<std::uint64_t>(attribute("len"), 1 << 20);
                std::string want(length, '\0'), got(length, '\0');
                disk.clear();
                disk.seekg(static_cast<std::streamoff>(imageOffset));
                disk.read(want.data(), static_cast<std::streamsize>(length));
                copy.clear();
                copy.seekg(static_cast<std::streamoff>(fileOffset));
                copy.read(got.data(), static_cast<std::streamsize>(length));
                EXPECT_EQ(got, want) << file << " run at file offset " << fileOffset;
                ++runs;
                ++fileRuns;
            }
            if (fileRuns > 1) ++multiRun;
        }
        EXPECT_GE(runs, 2);
        if (name == "ntfs-deleted") {
            EXPECT_GT(multiRun, 0);
        }
    }
}

// The switches leave out what they name and nothing else: the same files come back either way.
TEST_F(RecoveredMetadata, SwitchesLeaveOutTheReportTheHashesAndTheTimes) {
    const fs::path image = ImageFixtures::Fixture("fat32-deleted");
    if (image.empty()) GTEST_SKIP() << "fat32-deleted is not there";
    ASSERT_EQ(Recover(image, 2048).status, 0);
    const auto full = RecoveredByHash();
    ASSERT_FALSE(full.empty());
    EXPECT_TRUE(fs::exists(out() / "report.xml"));
    EXPECT_TRUE(fs::exists(out() / "sha256sums.txt"));

    fs::remove_all(out());
    fs::create_directories(out());
    auto run = Recover(image, 2048, "--no-report");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(fs::exists(out() / "report.xml"));
    EXPECT_FALSE(fs::exists(out() / "sha256sums.txt"));
    EXPECT_EQ(RecoveredByHash().size(), full.size());

    fs::remove_all(out());
    fs::create_directories(out());
    run = Recover(image, 2048, "--no-hash");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(fs::exists(out() / "sha256sums.txt"));
    const std::string xml = ReadText(out() / "report.xml");
    EXPECT_NE(xml.find("<fileobject>"), std::string::npos);
    EXPECT_EQ(xml.find("hashdigest"), std::string::npos);
    // --hash names the default; with --no-hash it is a contradiction, refused before anything is written.
    fs::remove_all(out());
    fs::create_directories(out());
    run = Recover(image, 2048, "--hash");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(fs::exists(out() / "sha256sums.txt"));
    fs::remove_all(out());
    fs::create_directories(out());
    run = Recover(image, 2048, "--hash --no-hash");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_TRUE(fs::is_empty(out()));

    fs::remove_all(out());
    fs::create_directories(out());
    const std::time_t before = std::time(nullptr);
    run = Recover(image, 2048, "--no-times");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& [sum, path] : RecoveredByHash()) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_GE(st.st_mtime, before - 1) << path;
    }
}

// mtools keeps the times given with touch (mcopy -m): modification to the 2 seconds, access as a date.
// A folder gets its time after its files were written into it.
TEST_F(RecoveredMetadata, FatFilesMadeWithMtoolsKeepModificationAndAccessDates) {
    if (!testing::ToolAvailable("mcopy") || !testing::ToolAvailable("mkfs.fat")) GTEST_SKIP() << "no mtools";
    const fs::path image = folder_ / "fat.img";
    const std::string script =
        "set -e; cd " + ShellQuote(folder_.string()) +
        "; export TZ=UTC; truncate -s 16M fat.img; mkfs.fat -F 16 fat.img >/dev/null;"
        " head -c 70000 /dev/urandom > big.bin; echo 'a letter' > letter.txt;"
        " touch -d '2019-01-02 03:04:06' big.bin; touch -d '2021-06-15 13:45:22' letter.txt;"
        " SOURCE_DATE_EPOCH=1262304002 mmd -i fat.img ::old; mcopy -m -i fat.img big.bin ::old/; mcopy -m -i "
        "fat.img letter.txt ::;"
        " mdel -i fat.img ::old/big.bin ::letter.txt";
    const auto made = RunCommand(script + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;

    const auto run = Recover(image, 0);
    ASSERT_EQ(run.status, 0) << run.output;
    // Stat before anything reads the files: reading moves their access time.
    std::map<std::string, struct stat> byName;
    for (const auto& entry : fs::directory_iterator(out() / "OLD")) {
        const fs::path path = entry.path();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        // The deleted 8.3 entry lost its first letter and comes back in its stored (upper) case.
        byName[Lower(path.filename().string().substr(1))] = st;
    }
    {
        struct stat st {};
        ASSERT_EQ(::stat((out() / "#ETTER.txt").c_str(), &st), 0);
        byName["etter.txt"] = st;
    }
    ASSERT_EQ(byName.count("ig.bin"), 1u);
    ASSERT_EQ(byName.count("etter.txt"), 1u);
    EXPECT_EQ(byName["ig.bin"].st_mtime, ParseUtc("2019-01-02T03:04:06Z"));
    EXPECT_EQ(byName["ig.bin"].st_atime, ParseUtc("2019-01-02T00:00:00Z"));
    EXPECT_EQ(byName["etter.txt"].st_mtime, ParseUtc("2021-06-15T13:45:22Z"));
    struct stat folder {};
    ASSERT_EQ(::stat((out() / "OLD").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mtime, ParseUtc("2010-01-01T00:00:02Z"));
    ExpectReportsMatch();
    EXPECT_NE(ReadText(out() / "report.xml").find("<mtime>2021-06-15T13:45:22Z</mtime>"), std::string::npos);
}

// A recovered file named like a report keeps its bytes: the report takes another name.
TEST_F(RecoveredMetadata, ReportNeverTakesTheNameOfARecoveredOrExistingFile) {
    if (!testing::ToolAvailable("mcopy") || !testing::ToolAvailable("mkfs.fat")) GTEST_SKIP() << "no mtools";
    const fs::path image = folder_ / "fat.img";
    const auto made = RunCommand("set -e; cd " + ShellQuote(folder_.string()) +
                                 "; truncate -s 16M fat.img; mkfs.fat -F 16 fat.img >/dev/null;"
                                 " echo '<not a report>' > report.xml; mcopy -i fat.img report.xml ::;"
                                 " mdel -i fat.img ::report.xml 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;
    { std::ofstream(out() / "sha256sums.txt") << "kept\n"; }

    const auto run = Recover(image, 0);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadText(out() / "sha256sums.txt"), "kept\n");
    int recoveredCopies = 0, dfxml = 0, lists = 0;
    for (const auto& entry : fs::directory_iterator(out())) {
        const std::string text = ReadText(entry.path());
        if (text == "<not a report>\n") ++recoveredCopies;
        if (text.find("<dfxml") != std::string::npos) ++dfxml;
        if (entry.path().filename() != "sha256sums.txt" &&
            Lower(text).find("eport.xml\n") != std::string::npos)
            ++lists;
    }
    EXPECT_EQ(recoveredCopies, 1);
    EXPECT_EQ(dfxml, 1);
    EXPECT_EQ(lists, 1) << "sha256sums.txt was taken, so the list went under another name";
}

}  // namespace
}  // namespace lumacore
