// `recover --inode/--record/--cluster`: choosing found files by the numbers The Sleuth Kit's icat and
// ntfsundelete take, with the bytes checked against the files written and against icat.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <tuple>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

struct Recovered {
    int status = -1;
    std::string output;
    std::set<std::string> hashes;  // of every file written
};

class CliSelection : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = ImageFixtures::ScratchDir() / ("selection-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::string Cli(const fs::path& image) {
        return ShellQuote(LUMACORE_CLI) + " --no-devices --image " + ShellQuote(image.string());
    }
    Recovered Recover(const fs::path& image, const std::string& selection, int volume = 0) {
        fs::remove_all(folder_);
        Recovered result;
        const auto run = RunCommand(Cli(image) + " recover --volume " + std::to_string(volume) + " --to " +
                                    ShellQuote(folder_.string()) + " " + selection + " 2>&1");
        result.status = run.status;
        result.output = run.output;
        if (fs::exists(folder_)) {
            for (const auto& [path, hash] : testing::Sha256Tree(folder_)) result.hashes.insert(hash);
        }
        return result;
    }
    static std::string Icat(const fs::path& image, const std::string& address) {
        return RunCommand("icat -o 2048 " + ShellQuote(image.string()) + " " + address + " | sha256sum")
            .output.substr(0, 64);
    }

    fs::path folder_;
};

TEST_F(CliSelection, InodesOfAnExtVolumeAsIcatReadsThem) {
    const fs::path image = ImageFixtures::Fixture("ext2-deleted");
    ASSERT_FALSE(image.empty());
    const auto run = Recover(image, "--inode 16 --inode=14", 1);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::set<std::string> expected{"e0a90752997f8fbee794c5d62eb1593ba993ff914332b04a4aff7c9fca592bfa",
                                         "2de93a116bfb9a643792bf9c375865ecc135a5af9affb21e72e4798762345f3f"};
    EXPECT_EQ(run.hashes, expected) << run.output;
    if (testing::ToolAvailable("icat")) {
        EXPECT_EQ((std::set<std::string>{Icat(image, "16"), Icat(image, "14")}), expected);
    }
}

TEST_F(CliSelection, RecordsOfAnNtfsVolumeAsIcatReadsThem) {
    const fs::path image = ImageFixtures::Fixture("ntfs-deleted");
    ASSERT_FALSE(image.empty());
    const auto run = Recover(image, "--record 80");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.hashes,
              std::set<std::string>{"eb3a7799419ca5f67fb590043b25438d061cda72df86b9be28b571e7d5c2c3bd"});
    if (testing::ToolAvailable("icat")) {
        EXPECT_EQ(run.hashes, std::set<std::string>{Icat(image, "80")});
    }
}

TEST_F(CliSelection, FirstClustersOfAFatVolumeAsTheListingNamesThem) {
    const fs::path image = ImageFixtures::Fixture("fat16-default");
    ASSERT_FALSE(image.empty());
    // The cluster the JSON listing gives the file is the one recover takes.
    const auto cluster =
        RunCommand(Cli(image) +
                   " scan --volume 0 --json | python3 -c \"import json,sys; print(next(f['cluster'] for f in "
                   "json.load(sys.stdin)['files'] if f['path'] == 'deleted-contiguous.bin'))\"");
    ASSERT_EQ(cluster.status, 0);
    const auto run = Recover(image, "--cluster " + cluster.output.substr(0, cluster.output.find('\n')));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.hashes,
              std::set<std::string>{"b15b5de00e3c5ed7b607b72e043bacae1252f28fc9f33ba639c0989f3b6c2122"});
}

TEST_F(CliSelection, NumbersTheVolumeDoesNotHaveAreUsageErrors) {
    const fs::path fat = ImageFixtures::Fixture("fat16-default");
    const fs::path ntfs = ImageFixtures::Fixture("ntfs-deleted");
    for (const auto& [image, selection, message] :
         {std::tuple{fat, std::string("--inode 12"), std::string("no inode number")},
          std::tuple{ntfs, std::string("--record 99999"), std::string("no file of MFT record 99999")},
          std::tuple{ntfs, std::string("--record x"), std::string("--record takes a whole number")}}) {
        const auto run = Recover(image, selection);
        EXPECT_EQ(run.status, 2) << selection << ": " << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
        EXPECT_TRUE(run.hashes.empty()) << "nothing is written for " << selection;
    }
}

}  // namespace
}  // namespace lumacore
