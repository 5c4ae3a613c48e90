// FLAC files made by the flac encoder, in the codings it chooses (fixed and linear predictors,
// verbatim and constant subframes, stereo decorrelation, wasted bits, Rice escapes), each followed by
// random bytes as on a disk: the carver must end each one exactly where the encoder did.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "engines/raw/carve_input.h"
#include "engines/raw/format_verdict.h"
#include "integration/image_fixture.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using Kind = FormatVerdict::Kind;

struct Encoding {
    int channels;
    int bits;
    const char* options;
};

void PutLe(std::ofstream& out, std::uint32_t value, int n) {
    for (int i = 0; i < n; ++i) out.put(static_cast<char>(value >> (8 * i)));
}

// Raw samples of tones, silence and noise: each kind of stretch makes the encoder choose another coding.
void WritePcm(const fs::path& path, const Encoding& e, std::uint32_t seed, std::uint32_t frames) {
    std::mt19937 rng(seed);
    std::ofstream out(path, std::ios::binary);
    const int bytesPerSample = e.bits / 8;
    const double full = static_cast<double>((1u << (e.bits - 1)) - 1);
    const double tone = 200.0 + static_cast<double>(rng() % 900);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::uint32_t stretch = (i / 5000 + seed) % 4;
        for (int c = 0; c < e.channels; ++c) {
            double v = 0;
            if (stretch == 0) v = 0.5 * std::sin(6.283 * tone * i / 44100.0 + c);
            if (stretch == 1) v = (static_cast<double>(rng() % 2001) - 1000.0) / 1000.0 * 0.9;
            if (stretch == 2) v = 0.3 * std::sin(6.283 * tone * i / 44100.0) + 0.01 * (static_cast<double>(rng() % 3) - 1.0);
            // stretch 3: silence
            PutLe(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(v * full)), bytesPerSample);
        }
    }
}

std::vector<std::byte> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::byte> bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

FormatVerdict Parse(const std::vector<std::byte>& bytes) {
    MemorySource source(bytes);
    CarveInput input(source, 0, UINT64_MAX);
    return FindFormatParser("flac")(input);
}

TEST(RawFlac, EveryEncoderCodingEndsWhereTheEncoderEndedIt) {
    if (!testing::ToolAvailable("flac")) GTEST_SKIP() << "flac is not installed";
    const fs::path work = testing::ImageFixtures::ScratchDir() / "flac-ends";
    fs::remove_all(work);
    fs::create_directories(work);
    const Encoding encodings[] = {
        {1, 16, "-0"},  {2, 16, "-5"}, {2, 16, "-8"}, {2, 24, "-5"}, {1, 8, "-3"},
        {2, 16, "-5 --blocksize=192"}, {2, 16, "-8 --blocksize=4608"}, {6, 16, "-5"},
    };
    std::mt19937 filler(7);
    int files = 0;
    for (std::uint32_t seed = 0; seed < 40; ++seed) {
        const Encoding& e = encodings[seed % std::size(encodings)];
        const fs::path pcm = work / "in.raw";
        const fs::path flac = work / "out.flac";
        WritePcm(pcm, e, seed, 9000 + seed * 1733);
        const auto made = testing::RunCommand(
            "flac --silent -f --force-raw-format --endian=little --sign=signed --sample-rate=44100 --channels=" +
            std::to_string(e.channels) + " --bps=" + std::to_string(e.bits) + " " + e.options + " -o " +
            flac.string() + " " + pcm.string() + " 2>&1");
        ASSERT_EQ(made.status, 0) << made.output;
        std::vector<std::byte> bytes = ReadAll(flac);
        const std::size_t length = bytes.size();
        for (int i = 0; i < 8192; ++i) bytes.push_back(static_cast<std::byte>(filler()));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", flac " + e.options);
        const FormatVerdict whole = Parse(bytes);
        EXPECT_EQ(whole.kind, Kind::kLength);
        EXPECT_EQ(whole.length, length);
        // Cut inside the audio and followed by random bytes, the file is not taken for a whole one.
        std::vector<std::byte> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length * 2 / 3));
        cut.insert(cut.end(), bytes.end() - 8192, bytes.end());
        EXPECT_NE(Parse(cut).kind, Kind::kLength);
        ++files;
    }
    EXPECT_EQ(files, 40);
}

}  // namespace
}  // namespace lumacore
