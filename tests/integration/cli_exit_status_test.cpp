// What a script learns from the command line alone: the help of every command, the version, and an exit
// status that says whether everything asked was done (0), nothing could be (1), the command line or
// input was wrong (2), or it was done in part (3).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

std::string Cli() {
    return ShellQuote(LUMACORE_CLI);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A scratch folder of this test's own, emptied first.
fs::path Scratch(const std::string& name) {
    const fs::path folder = ImageFixtures::ScratchDir() / ("exit-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TEST(CliHelp, TopLevelHelpAndVersionGoToStdoutWithStatusZero) {
    for (const char* asked : {" --help", " -h", " help", " --no-devices --help"}) {
        const auto run = RunCommand(Cli() + asked + " 2>/dev/null");
        EXPECT_EQ(run.status, 0) << asked;
        for (const char* part :
             {"usage: lumacore-cli", "disks", "scan", "recover", "preview", "partitions", "repair",
              "--mode raw", "--size-limit KB", "Exit status:", "  3  done in part"}) {
            EXPECT_TRUE(Has(run.output, part)) << asked << ": " << part;
        }
    }
    const auto version = RunCommand(Cli() + " --version 2>/dev/null");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("lumacore-cli ") + LUMACORE_VERSION + "\n");

    // Without a command it is still a usage error, told on stderr.
    const auto bare = RunCommand(Cli() + " 2>/dev/null");
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.output, "");
}

TEST(CliHelp, EveryCommandListsItsOptionsAndAnExample) {
    const std::pair<const char*, std::vector<const char*>> commands[] = {
        {"disks", {"--json", "--index"}},
        {"scan",
         {"--volume I", "--disk N", "--start SECTOR", "--end SECTOR", "--mode", "--json", "--category",
          "--date", "--size", "--name TEXT", "--size-limit KB", "--types", "--signatures FILE"}},
        {"recover",
         {"--volume I", "--to DIR", "--only PATH", "--overwrite", "--mode", "--types", "Exit status 3"}},
        {"preview", {"--volume I", "--file PATH", "--save FILE", "--overwrite", "--mode"}},
        {"partitions",
         {"--disk N", "--deep", "--candidate K", "--from-backup FILE", "--dry-run", "--yes", "--force"}},
        {"repair", {"dbx|pst FILE ...", "--to DIR", "--overwrite"}},
    };
    for (const auto& [command, options] : commands) {
        // The image need not exist: asking for help reads no disk.
        for (const std::string& asked :
             {std::string(" --image /nonexistent.img ") + command + " --help",
              std::string(" ") + command + " -h", std::string(" help ") + command}) {
            const auto run = RunCommand(Cli() + asked + " 2>&1");
            EXPECT_EQ(run.status, 0) << asked << ": " << run.output;
            EXPECT_TRUE(Has(run.output, std::string("Usage: lumacore-cli ") + command)) << run.output;
            EXPECT_TRUE(Has(run.output, "Examples:\n  lumacore-cli ")) << asked;
            for (const char* option : options)
                EXPECT_TRUE(Has(run.output, option)) << command << ": " << option;
        }
    }
}

TEST(CliExitStatus, BadCommandLinesAndInputsAreTwo) {
    const auto fat = ImageFixtures::Fixture("fat16-default");
    ASSERT_FALSE(fat.empty());
    const std::string image = Cli() + " --no-devices --image " + ShellQuote(fat.string());
    for (const std::string& bad :
         {image + " scan --volume 0 --bogus", image + " scan --volume 0 --volume 1", image + " scan --volume",
          image + " scan --volume 9", image + " scan", image + " scan --volume 0 --mode quick",
          image + " disks --json=1", image + " recover --volume 0",
          image + " preview --volume 0 --file nothing.txt",
          Cli() + " --no-devices --image /nonexistent.img scan --volume 0"}) {
        const auto run = RunCommand(bad + " 2>&1");
        EXPECT_EQ(run.status, 2) << bad << ": " << run.output;
        EXPECT_TRUE(Has(run.output, "lumacore-cli")) << "the message names the program: " << run.output;
    }
}

TEST(CliExitStatus, RecoveryIsZeroWhenWholeAndThreeWhenCancelled) {
    const auto fat = ImageFixtures::Fixture("fat16-default");
    ASSERT_FALSE(fat.empty());
    const fs::path out = Scratch("recover");
    const std::string recover = Cli() + " --no-devices --image " + ShellQuote(fat.string()) +
                                " recover --volume 0 --to " + ShellQuote(out.string());

    const auto first = RunCommand(recover + " 2>/dev/null");
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_TRUE(Has(first.output, "; 0 failed; 0 existing kept\n")) << first.output;

    // Existing files kept on purpose are no failure.
    const auto kept = RunCommand(recover + " --overwrite no 2>/dev/null");
    EXPECT_EQ(kept.status, 0) << kept.output;

    // Nobody answers the overwrite question: the run stops, and says so in its status.
    const auto unanswered = RunCommand(recover + " </dev/null 2>/dev/null");
    EXPECT_EQ(unanswered.status, 3) << unanswered.output;
    EXPECT_TRUE(Has(unanswered.output, "; cancelled")) << unanswered.output;
    fs::remove_all(out);
}

TEST(CliExitStatus, RepairRefusesFilesWithoutTheFormatsSignature) {
    const fs::path folder = Scratch("repair");
    const fs::path noise = folder / "noise.pst";
    std::ofstream(noise, std::ios::binary) << std::string(4096, '\x5A');
    const std::string repair = Cli() + " repair ";

    for (const char* kind : {"pst", "dbx"}) {
        const auto run = RunCommand(repair + kind + " " + ShellQuote(noise.string()) + " --to " +
                                    ShellQuote((folder / "out").string()) + " 2>&1");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_TRUE(Has(run.output, std::string("not a ") + (kind[0] == 'p' ? "PST" : "DBX") + " file"))
            << run.output;
        EXPECT_FALSE(Has(run.output, "Repaired")) << run.output;
        EXPECT_FALSE(fs::exists(folder / "out" / "noise.pst"));
    }

    // A personal folder whose magic was overwritten still has its client magic and version: repaired.
    std::string header(4096, '\0');
    header.replace(0, 4, "XXXX");
    header.replace(8, 4, std::string("SM\x17\x00", 4));
    std::ofstream(folder / "damaged.pst", std::ios::binary) << header;
    const auto fixed = RunCommand(repair + "pst " + ShellQuote((folder / "damaged.pst").string()) + " --to " +
                                  ShellQuote((folder / "out").string()) + " 2>&1");
    EXPECT_EQ(fixed.status, 0) << fixed.output;
    EXPECT_TRUE(Has(fixed.output, "Repaired")) << fixed.output;

    // A mail folder that has "LocalStore" but whose header check fails is a repair done in part.
    std::string store(12000, 'x');
    store.replace(9409, 11, std::string("LocalStore\0", 11));
    store.replace(0xC4, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    std::ofstream(folder / "bad.dbx", std::ios::binary) << store;
    const auto partial = RunCommand(repair + "dbx " + ShellQuote((folder / "bad.dbx").string()) + " --to " +
                                    ShellQuote((folder / "out").string()) + " 2>&1");
    EXPECT_EQ(partial.status, 3) << partial.output;
    EXPECT_TRUE(Has(partial.output, "Repair failed")) << partial.output;
    fs::remove_all(folder);
}

TEST(CliDisksIndex, TheIndexOptionNamesEachVolumesIndex) {
    const auto linuxMbr = ImageFixtures::SharedImage("mbr-linux-extended-ext2-ext4", "mbr.raw");
    const auto floppy = ImageFixtures::SharedImage("fat12-winxp-floppy", "daylight.dd");
    ASSERT_FALSE(linuxMbr.empty());
    const auto run = RunCommand(Cli() + " --no-devices --image " + ShellQuote(floppy.string()) + " --image " +
                                ShellQuote(linuxMbr.string()) + " disks --index");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "My Computer\n"
              "  Disk image daylight.dd (1.41 MB)\n"
              "    [0] (C:\\) FAT (1.41 MB)\n"
              "  Disk image mbr.raw (4.00 MB)\n"
              "    [1] (*:\\) EXT2 (64.50 KB)\n"
              "    [2] (*:\\) EXT4 (64.50 KB)\n"
              "    [3] (*:\\) Deleted (3.84 MB)\n");
}

}  // namespace
}  // namespace lumacore
