// A deleted folder far larger than its first cluster, made with mkfs.fat and mtools: the folder grows
// cluster by cluster between its files' data, so only an orphan sweep finds its later clusters. Every
// file must come back under its folder, byte for byte, empty files and very long names included.
#include <gtest/gtest.h>

#include <fstream>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::Sha256Tree;
using testing::ShellQuote;

struct Layout {
    const char* name;
    const char* mkfs;
    int kib;
};

class FatOrphanTest : public ::testing::TestWithParam<Layout> {};

void WriteFile(const std::filesystem::path& path, std::uint32_t seed, std::size_t size) {
    std::ofstream out(path, std::ios::binary);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out.put(static_cast<char>(x >> 24));
    }
}

TEST_P(FatOrphanTest, EveryFileOfABigDeletedFolderComesBack) {
    if (!testing::ToolAvailable("mkfs.fat") || !testing::ToolAvailable("mcopy")) {
        GTEST_SKIP() << "mkfs.fat and mtools are needed";
    }
    const Layout layout = GetParam();
    const auto work = ImageFixtures::ScratchDir() / (std::string("orphans-") + layout.name);
    std::filesystem::remove_all(work);
    const auto source = work / "source";
    const std::string big = "Big Folder Of Documents";
    const std::string inner = "Inner Folder";
    std::filesystem::create_directories(source / big / inner);
    std::string firstHalf, secondHalf, innerFiles;
    for (int i = 0; i < 150; ++i) {
        const std::string name = "document number " + std::to_string(1000 + i) + " of the big folder.bin";
        WriteFile(source / big / name, i, 100 + (i * 397) % 2400);
        (i < 75 ? firstHalf : secondHalf) += " " + ShellQuote((source / big / name).string());
    }
    for (int i = 0; i < 12; ++i) {
        const std::string name = "inner file " + std::to_string(i) + ".dat";
        WriteFile(source / big / inner / name, 500 + i, 700 + i * 300);
        innerFiles += " " + ShellQuote((source / big / inner / name).string());
    }
    std::ofstream(source / big / "empty file.txt").close();
    const std::string longName = std::string(103, 'n') + ".txt";
    WriteFile(source / big / longName, 9999, 1234);
    secondHalf += " " + ShellQuote((source / big / "empty file.txt").string()) + " " +
                  ShellQuote((source / big / longName).string());
    WriteFile(work / "kept.bin", 77, 5000);

    const auto image = work / "volume.img";
    const std::string at = ShellQuote(image.string());
    const std::string m = "MTOOLS_SKIP_CHECK=1 ";
    // The folder fills up while its files are written: its later clusters lie between their data.
    const std::string script =
        "set -e; mkfs.fat -C " + std::string(layout.mkfs) + " " + at + " " + std::to_string(layout.kib) +
        " >/dev/null; " + m + "mcopy -i " + at + " " + ShellQuote((work / "kept.bin").string()) + " ::/; " +
        m + "mmd -i " + at + " " + ShellQuote("::/" + big) + "; " + m + "mcopy -i " + at + firstHalf + " " +
        ShellQuote("::/" + big + "/") + "; " + m + "mmd -i " + at + " " +
        ShellQuote("::/" + big + "/" + inner) + "; " + m + "mcopy -i " + at + innerFiles + " " +
        ShellQuote("::/" + big + "/" + inner + "/") + "; " + m + "mcopy -i " + at + secondHalf + " " +
        ShellQuote("::/" + big + "/") + "; " + m + "mdeltree -i " + at + " " + ShellQuote("::/" + big);
    const auto made = RunCommand(script + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;

    const auto out = work / "out";
    const std::string cli = ShellQuote(LUMACORE_CLI) + " --no-devices --image " + at;
    const auto recover =
        RunCommand(cli + " recover --volume 0 --overwrite yes --to " + ShellQuote(out.string()));
    ASSERT_EQ(recover.status, 0) << recover.output;
    EXPECT_NE(recover.output.find("Recovered 164 files"), std::string::npos) << recover.output;
    EXPECT_NE(recover.output.find("; 0 failed"), std::string::npos) << recover.output;

    const auto wanted = Sha256Tree(source);
    const auto got = Sha256Tree(out);
    int identical = 0;
    for (const auto& [path, sum] : wanted) {
        const auto found = got.find(path);
        EXPECT_NE(found, got.end()) << path << " did not come back under its folder";
        if (found != got.end()) {
            EXPECT_EQ(found->second, sum) << path;
            identical += found->second == sum;
        }
    }
    EXPECT_EQ(got.size(), wanted.size());
    EXPECT_FALSE(std::filesystem::exists(out / "Lost Files")) << "every cluster has its folder";

    // The sweep is what finds them: without it only the folder's first cluster is listed; asked for
    // always, it finds the same as when it runs by itself on meeting the deleted folder.
    auto foundFiles = [&](const std::string& sweep) {
        const auto scan = RunCommand(cli + " scan --volume 0 --json --orphan-sweep " + sweep);
        EXPECT_EQ(scan.status, 0) << scan.output;
        const auto key = scan.output.find("\"foundFiles\":");
        return key == std::string::npos ? -1L : std::stol(scan.output.substr(key + 13));
    };
    const long automatic = foundFiles("auto");
    EXPECT_EQ(automatic, 164);
    EXPECT_EQ(foundFiles("on"), automatic);
    const long walkedOnly = foundFiles("off");
    EXPECT_GT(walkedOnly, 0);
    EXPECT_LT(walkedOnly, 40) << "a first cluster of 512 bytes holds 16 entries";
    const auto wrong = RunCommand(cli + " scan --volume 0 --orphan-sweep sometimes 2>&1");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.output.find("auto, on, off"), std::string::npos) << wrong.output;

    std::cout << "[ figures  ] " << layout.name << ": " << identical << " of " << wanted.size()
              << " files of a deleted folder byte-identical\n";
}

INSTANTIATE_TEST_SUITE_P(SmallClusters, FatOrphanTest,
                         ::testing::Values(Layout{"fat16", "-F 16 -s 1", 16384},
                                           Layout{"fat32", "-F 32 -s 1", 66000}),
                         [](const auto& parameter) { return std::string(parameter.param.name); });

}  // namespace
}  // namespace lumacore
