#include "integration/image_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace lumacore::testing {

namespace fs = std::filesystem;

namespace {

fs::path Unpack(const fs::path& compressed, const std::string& uniqueName) {
    if (!fs::exists(compressed)) return {};
    const fs::path target = ImageFixtures::ScratchDir() / uniqueName;
    static std::mutex lock;
    std::lock_guard guard(lock);
    if (!fs::exists(target)) {
        fs::create_directories(target.parent_path());
        const fs::path partial = target.string() + ".part";
        const auto result = RunCommand("zstd -d -q -f " + ShellQuote(compressed.string()) + " -o " +
                                       ShellQuote(partial.string()));
        if (result.status != 0) return {};
        fs::rename(partial, target);
    }
    return target;
}

}  // namespace

fs::path ImageFixtures::SourceDir() {
    return fs::path(LUMACORE_SOURCE_DIR);
}

fs::path ImageFixtures::ScratchDir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "lumacore-images-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup;
    return dir;
}

fs::path ImageFixtures::Fixture(const std::string& name) {
    return Unpack(SourceDir() / "tests" / "fixtures" / "images" / (name + ".img.zst"),
                  "fixtures/" + name + ".img");
}

fs::path ImageFixtures::SharedImage(const std::string& folder, const std::string& file) {
    return Unpack(SourceDir().parent_path() / "shared" / "testdata" / folder / (file + ".zst"),
                  folder + "/" + file);
}

std::vector<std::string> ImageFixtures::FixtureNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(SourceDir() / "tests" / "fixtures" / "images", ec)) {
        const std::string file = entry.path().filename().string();
        const std::string suffix = ".img.zst";
        if (file.size() > suffix.size() &&
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(file.substr(0, file.size() - suffix.size()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::pair<std::string, std::string>> ImageFixtures::SharedImages() {
    std::vector<std::pair<std::string, std::string>> images;
    std::error_code ec;
    for (const auto& folder : fs::directory_iterator(SourceDir().parent_path() / "shared" / "testdata", ec)) {
        if (!folder.is_directory()) continue;
        for (const auto& file : fs::directory_iterator(folder.path(), ec)) {
            if (file.path().extension() == ".zst") {
                images.emplace_back(folder.path().filename().string(), file.path().stem().string());
            }
        }
    }
    std::sort(images.begin(), images.end());
    return images;
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    return out + "'";
}

bool ToolAvailable(const std::string& tool) {
    return RunCommand("command -v " + ShellQuote(tool) + " >/dev/null 2>&1").status == 0;
}

std::map<std::string, std::string> Sha256Tree(const fs::path& root) {
    std::map<std::string, std::string> sums;
    const auto result =
        RunCommand("cd " + ShellQuote(root.string()) + " && find . -type f -print0 | xargs -0 -r sha256sum");
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 68) sums[line.substr(68)] = line.substr(0, 64);  // "<hash>  ./path"
    }
    sums.erase("sha256sums.txt");
    sums.erase("report.xml");
    return sums;
}

std::vector<std::vector<std::string>> ManifestRows(const std::string& image, std::uint32_t start) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "manifest.txt");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (cells.size() >= 10 && cells[0] == image && cells[1] == std::to_string(start))
            rows.push_back(std::move(cells));
    }
    return rows;
}

}  // namespace lumacore::testing
