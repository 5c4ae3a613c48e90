#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace lumacore::testing {

// Disk images for the tests: our own fixtures (tests/fixtures/images/*.img.zst) and the images made by
// other hands in ../shared/testdata, unpacked once per test run into a private temporary folder.
class ImageFixtures {
public:
    // The unpacked path of tests/fixtures/images/<name>.img.zst; empty when it is not there.
    static std::filesystem::path Fixture(const std::string& name);
    // The unpacked path of ../shared/testdata/<folder>/<file>.zst; empty when it is not there.
    static std::filesystem::path SharedImage(const std::string& folder, const std::string& file);
    // Every fixture name (without .img.zst).
    static std::vector<std::string> FixtureNames();
    // All images of ../shared/testdata as (folder, file) pairs.
    static std::vector<std::pair<std::string, std::string>> SharedImages();

    static std::filesystem::path SourceDir();
    static std::filesystem::path ScratchDir();
};

// Runs a command with /bin/sh, returning its standard output and exit status.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

// Quotes a word for /bin/sh.
std::string ShellQuote(const std::string& word);

bool ToolAvailable(const std::string& tool);

// The SHA-256 of every file below `root`, by its path below it ("folder/name"), leaving out the hash list
// and report a recovery writes into its destination root (sha256sums.txt, report.xml).
std::map<std::string, std::string> Sha256Tree(const std::filesystem::path& root);

// The cells of the manifest rows (tests/fixtures/manifest.txt) of the volume at `start` of `image`
// ("name.img"): image, start, fs, path, size, sha256, mtime, state, tsk_addr, tsk_icat.
std::vector<std::vector<std::string>> ManifestRows(const std::string& image, std::uint32_t start);

}  // namespace lumacore::testing
