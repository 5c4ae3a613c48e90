// The formatted-drive mode on FAT volumes quick-formatted with mkfs.fat over the same geometry: the files
// of the old folders come back, live and deleted alike, under folders named from the old entries (or
// "DIR%d" where the old root that named them was wiped).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct Formatted {
    const char* image;
    std::uint32_t start;
    std::uint32_t sectors;
    const char* mkfsArguments;
};

// Recovered files by their path below the top folder ("DIR0/a/b.txt" -> "a/b.txt"), with their hashes.
std::map<std::string, std::string> HashesBelowTopFolder(const std::filesystem::path& root) {
    std::map<std::string, std::string> sums;
    const auto result =
        RunCommand("cd " + ShellQuote(root.string()) + " && find . -mindepth 2 -type f -print0 | xargs -0 -r sha256sum");
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 70) continue;
        const std::string path = line.substr(68);  // "<hash>  ./DIRn/..."
        const auto slash = path.find('/');
        if (slash == std::string::npos) continue;
        sums[path.substr(slash + 1)] = line.substr(0, 64);
    }
    return sums;
}

class FatFormattedTest : public ::testing::TestWithParam<Formatted> {};

TEST_P(FatFormattedTest, OldFoldersComeBackWithTheirFiles) {
    if (!testing::ToolAvailable("mkfs.fat")) GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
    const Formatted f = GetParam();
    const std::string name = std::string(f.image).substr(0, std::strlen(f.image) - 4);
    const auto original = ImageFixtures::Fixture(name);
    ASSERT_FALSE(original.empty());
    const auto image = ImageFixtures::ScratchDir() / ("formatted-" + name + ".img");
    std::filesystem::copy_file(original, image, std::filesystem::copy_options::overwrite_existing);
    const auto format = RunCommand("mkfs.fat " + std::string(f.mkfsArguments) + " -h " + std::to_string(f.start) +
                                   " --offset=" + std::to_string(f.start) + " " + ShellQuote(image.string()) + " " +
                                   std::to_string(f.sectors / 2) + " >/dev/null 2>&1");
    ASSERT_EQ(format.status, 0);

    const auto out = ImageFixtures::ScratchDir() / ("formatted-out-" + name);
    std::filesystem::remove_all(out);
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
    const auto deleted = RunCommand(cli + " scan --volume 0");
    EXPECT_NE(deleted.output.find("Found Deleted Files : 0 "), std::string::npos) << "the format left the root empty";
    const auto recover =
        RunCommand(cli + " recover --volume 0 --mode formatted --overwrite yes --to " + ShellQuote(out.string()));
    ASSERT_EQ(recover.status, 0) << recover.output;
    const auto sums = HashesBelowTopFolder(out);

    std::ifstream manifest(ImageFixtures::SourceDir() / "tests" / "fixtures" / "manifest.txt");
    int expected = 0;
    int identical = 0;
    for (std::string line; std::getline(manifest, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (cells.size() < 10 || cells[0] != f.image || cells[1] != std::to_string(f.start)) continue;
        const std::string& path = cells[3];
        // Files of the root itself are gone with it; files whose clusters were reused or that were written
        // into holes cannot come back from consecutive clusters.
        const auto second = path.find('/', 1);
        if (second == std::string::npos || cells[9] != "match" || path.find("frag") != std::string::npos ||
            path.find("FRAG") != std::string::npos || cells[4] == "0") {
            continue;
        }
        ++expected;
        // 8.3-only names of deleted entries lose their first letter; compare those by hash alone.
        const std::string below = path.substr(second + 1);
        auto found = sums.find(below);
        if (found == sums.end()) {
            for (auto it = sums.begin(); it != sums.end(); ++it) {
                if (it->second == cells[5]) found = it;
            }
        }
        EXPECT_NE(found, sums.end()) << path << " did not come back";
        if (found != sums.end()) {
            EXPECT_EQ(found->second, cells[5]) << path;
            identical += found->second == cells[5];
        }
    }
    EXPECT_GT(expected, 0);
    std::cout << "[ figures  ] quick-formatted " << f.image << ": " << identical << " of " << expected
              << " files in old folders byte-identical\n";
}

INSTANTIATE_TEST_SUITE_P(QuickFormatted, FatFormattedTest,
                         ::testing::Values(Formatted{"fat16-default.img", 2048, 63488, "-F 16"},
                                           Formatted{"fat16-root1cluster.img", 2048, 135168, "-F 16 -s 32 -r 512"},
                                           Formatted{"fat32-deleted.img", 2048, 79872, "-F 32"}),
                         [](const auto& parameter) {
                             std::string n = parameter.param.image;
                             for (char& c : n) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
}  // namespace lumacore
