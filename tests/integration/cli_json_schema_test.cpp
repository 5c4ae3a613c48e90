// `scan --json` of every engine validates against the one schema file in the repository, and each
// file's path is one the other commands take.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct Listing {
    std::string fixture;
    std::string arguments;
    std::string engine;
    std::string idKey;
};

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CliJsonSchema : public ::testing::TestWithParam<Listing> {};

TEST_P(CliJsonSchema, ValidatesAndNamesPathsTheOtherCommandsTake) {
    const Listing c = GetParam();
    const fs::path image = ImageFixtures::Fixture(c.fixture);
    ASSERT_FALSE(image.empty()) << c.fixture;
    const fs::path folder = ImageFixtures::ScratchDir() /
                            ("schema-" + c.fixture + "-" + c.engine + "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
    const fs::path listing = folder / "listing.json";

    const auto scan = RunCommand(cli + " scan " + c.arguments + " --json > " + ShellQuote(listing.string()));
    ASSERT_EQ(scan.status, 0);
    const std::string json = Read(listing);
    EXPECT_EQ(json.rfind("{\n  \"schema\": 1,\n  \"engine\": \"" + c.engine + "\",\n", 0), 0u)
        << json.substr(0, 200);
    EXPECT_NE(json.find("\n  \"files\": [\n"), std::string::npos);
    EXPECT_NE(json.find("\"" + c.idKey + "\": "), std::string::npos);
    EXPECT_NE(json.find("\"root\": {"), std::string::npos) << "the older listing stays for one release";

    const fs::path checker = fs::path(LUMACORE_SOURCE_DIR) / "tests" / "integration" / "check_listing.py";
    const fs::path schema = fs::path(LUMACORE_SOURCE_DIR) / "res" / "schema" / "scan.schema.json";
    const auto checked =
        RunCommand("python3 " + ShellQuote(checker.string()) + " " + ShellQuote(schema.string()) + " " +
                   ShellQuote(listing.string()) + " 2>&1");
    ASSERT_EQ(checked.status, 0) << checked.output;
    std::istringstream lines(checked.output);
    std::string count, firstPath;
    std::getline(lines, count);
    std::getline(lines, firstPath);
    EXPECT_GT(std::stoul(count), 0u);
    ASSERT_FALSE(firstPath.empty());

    // The listed path is the one recover --only takes: exactly one file comes back.
    const auto recovered =
        RunCommand(cli + " recover " + c.arguments + " --to " + ShellQuote((folder / "out").string()) +
                   " --only " + ShellQuote(firstPath) + " 2>/dev/null");
    EXPECT_EQ(recovered.status, 0) << recovered.output;
    EXPECT_EQ(recovered.output.rfind("Recovered 1 files", 0), 0u) << firstPath << ": " << recovered.output;
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, CliJsonSchema,
    ::testing::Values(Listing{"fat16-default", "--volume 0", "fat", "cluster"},
                      Listing{"fat-formatted", "--volume 0 --mode formatted", "fat", "cluster"},
                      Listing{"exfat-deleted", "--volume 0", "exfat", "cluster"},
                      Listing{"ntfs-deleted", "--volume 0", "ntfs", "mftRecord"},
                      Listing{"ext-journal", "--volume 1", "ext", "inode"},
                      Listing{"fat16-default", "--volume 0 --mode raw", "raw", "sector"}),
    [](const auto& parameter) { return parameter.param.engine + std::to_string(parameter.index); });

TEST(CliJsonTimes, TimesAreIso8601WithTheirClock) {
    // NTFS and EXT keep UTC; FAT keeps the writer's local time without its zone.
    const auto run = [](const std::string& fixture) {
        return RunCommand(ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                          ShellQuote(ImageFixtures::Fixture(fixture).string()) + " scan --volume 0 --json")
            .output;
    };
    const std::string ntfs = run("ntfs-deleted");
    EXPECT_NE(ntfs.find("\"modified\": \"20"), std::string::npos);
    EXPECT_NE(ntfs.find("Z\",\n      \"created\""), std::string::npos) << ntfs.substr(0, 600);
    const std::string fat = run("fat16-default");
    EXPECT_NE(fat.find("\"modified\": \"2026-10-05T09:30:00\""), std::string::npos) << fat.substr(0, 600);
}

}  // namespace
}  // namespace lumacore
