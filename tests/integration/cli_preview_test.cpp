// `lumacore-cli preview` on the fixture images: each family's view of a found file, and --save.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "integration/image_fixture.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

testing::CommandResult Preview(const std::string& image, const std::string& arguments) {
    const auto path = ImageFixtures::Fixture(image);
    return RunCommand("cd " + ShellQuote(std::filesystem::path(LUMACORE_CLI).parent_path().string()) +
                      " && " + ShellQuote(LUMACORE_CLI) + " --no-devices --image " +
                      ShellQuote(path.string()) + " preview " + arguments + " 2>/dev/null");
}

std::string Sha256(const std::filesystem::path& file) {
    return RunCommand("sha256sum < " + ShellQuote(file.string())).output.substr(0, 64);
}

std::size_t DumpRows(const std::string& text) {
    std::size_t rows = 0;
    for (std::size_t at = text.find("\n0000"); at != std::string::npos; at = text.find("\n0000", at + 1))
        ++rows;
    return rows + (text.rfind("00000000  ", 0) == 0 ? 1 : 0);
}

TEST(CliPreview, FatPictureIsNamedDumpedAndSavedWhole) {
    const auto saved = ImageFixtures::ScratchDir() / "preview-picture.bmp";
    const auto run = Preview(
        "fat16-default", "--volume 0 --file 'Old Stuff/#ICTURE.bmp' --save " + ShellQuote(saved.string()));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("BMP image (type code 1), 64 x 48 pixels\n\n00000000  42 4D 36 24  00 00", 0),
              0u)
        << run.output;
    // The FAT page cuts the dump at 1024 bytes; the picture itself was read whole.
    EXPECT_EQ(DumpRows(run.output), 64u);
    EXPECT_EQ(run.output.find('\r'), std::string::npos);
    EXPECT_EQ(Sha256(saved), "301e41f3f3aec149e7dd48021b54cdb9674d22d4c9798d21ea34bbe3a35407b3");
}

TEST(CliPreview, FatTextKindIsShownAsTextCutAt1024Bytes) {
    const auto saved = ImageFixtures::ScratchDir() / "preview-report.txt";
    const auto run = Preview("fat16-default",
                             "--volume 0 --file 'old 2020 report.txt' --save " + ShellQuote(saved.string()));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(std::filesystem::file_size(saved), 1024u);
    const auto head = RunCommand("cat " + ShellQuote(saved.string()));
    EXPECT_EQ(run.output, head.output + (head.output.back() == '\n' ? "" : "\n"));
    EXPECT_EQ(run.output.rfind("fat16-default:/old 2020 report.txt\n0001 ", 0), 0u);
}

TEST(CliPreview, EachFamilyCutsItsDumpAsItsPageDoes) {
    // NTFS: 512 bytes of a picture that the terminal does not decode.
    auto run = Preview("ntfs-deleted", "--volume 0 --file 'Old Stuff/picture.bmp'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("BMP image (type code 1), 64 x 48 pixels\n", 0), 0u);
    EXPECT_EQ(DumpRows(run.output), 32u);
    // NTFS text kind: 512 bytes as text.
    run = Preview("ntfs-deleted", "--volume 0 --file 'Grüße.txt'");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.output.size(), 513u);
    // EXT: every file that is not a picture is dumped, up to 4096 bytes (this one has 1495).
    run = Preview("ext-journal", "--volume 1 --file 'Lost files/Grüße.txt'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(DumpRows(run.output), (1495u + 15) / 16);
    EXPECT_NE(run.output.find("00000000  65 78 74 2D  6A 6F 75 72"), std::string::npos);
    // RAW: 512 bytes of a carved file.
    run = Preview("fat16-default", "--mode raw --volume 0 --file 'Windows bitmap/File0.bmp'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("BMP image (type code 1), 96 x 64 pixels\n", 0), 0u);
    EXPECT_EQ(DumpRows(run.output), 32u);
}

TEST(CliPreview, RefusesUnknownFilesAndSavingOntoTheImage) {
    EXPECT_EQ(Preview("fat16-default", "--volume 0 --file 'no such file.txt'").status, 2);
    EXPECT_EQ(Preview("fat16-default", "--volume 0").status, 2);
    const auto image = ImageFixtures::Fixture("fat16-default");
    const std::string before = Sha256(image);
    const auto run = Preview("fat16-default",
                             "--volume 0 --file 'old 2020 report.txt' --save " + ShellQuote(image.string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Sha256(image), before);
}

}  // namespace
}  // namespace lumacore
