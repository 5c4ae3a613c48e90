// Where the signature list comes from: a stray "rp.dat" in the folder the program starts from is used
// only when it gives signatures; otherwise the one beside the program (or installed) is, and the stray
// one is named so the user can be told.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engines/raw/signature_entry.h"

namespace lumacore {
namespace {

// Runs the test body in a fresh current folder and goes back afterwards.
class SignatureFileLookupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        folder_ = std::filesystem::temp_directory_path() / ("lumacore-lookup-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    std::filesystem::path previous_, folder_;
};

TEST_F(SignatureFileLookupTest, AStrayFileThatDoesNotParseGivesWayToTheProgramsOwn) {
    RawTypeSelection programs;
    ASSERT_TRUE(programs.EnsureLoaded()) << "rp.dat beside the test program";
    EXPECT_TRUE(programs.skippedFiles().empty());
    const auto ownList = programs.loadedFrom();

    for (const char* garbage : {"not xml at all", "<signatures></signatures>", ""}) {
        std::ofstream(kSignatureFileName) << garbage;
        RawTypeSelection selection;
        EXPECT_TRUE(selection.EnsureLoaded()) << garbage;
        EXPECT_EQ(selection.loadedFrom(), ownList) << garbage;
        EXPECT_EQ(selection.entries().size(), programs.entries().size()) << garbage;
        ASSERT_EQ(selection.skippedFiles().size(), 1u) << garbage;
        EXPECT_EQ(selection.skippedFiles().front(), std::filesystem::path(kSignatureFileName));
    }
}

TEST_F(SignatureFileLookupTest, AUsableFileInTheCurrentFolderStillComesFirst) {
    std::ofstream(kSignatureFileName) << "<db><about>skipped</about><t><e>abc</e><d>Test type</d><s "
                                         "n=\"1\"><p o=\"0\">616263</p></s></t></db>";
    RawTypeSelection selection;
    ASSERT_TRUE(selection.EnsureLoaded());
    EXPECT_EQ(selection.loadedFrom(), std::filesystem::path(kSignatureFileName));
    EXPECT_TRUE(selection.skippedFiles().empty());
    ASSERT_EQ(selection.entries().size(), 1u);
    EXPECT_EQ(selection.entries().front().extension, "abc");
}

}  // namespace
}  // namespace lumacore
