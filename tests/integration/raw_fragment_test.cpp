// JPEGs written in two pieces with other data between them: real pictures (tests/fixtures/carving,
// made by ImageMagick and cjpeg: baseline and progressive, with and without restart markers) split at
// cluster boundaries, found by their format parser and the carver, and written back byte for byte;
// and pictures whose rest is nowhere, which must stay partial.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "core/sha256.h"
#include "engines/raw/carve_input.h"
#include "engines/raw/format_verdict.h"
#include "engines/raw/formats/jpeg_decoder.h"
#include "engines/raw/raw_carver.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"
#include "session/raw_scan.h"

namespace lumacore {
namespace {

using Bytes = std::vector<std::byte>;
using testing::ImageFixtures;

constexpr std::uint64_t kSector = 512;

Bytes Picture(const std::string& name) {
    std::ifstream file(ImageFixtures::SourceDir() / "tests" / "fixtures" / "carving" / name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Bytes bytes(text.size());
    std::memcpy(bytes.data(), text.data(), text.size());
    EXPECT_GT(bytes.size(), 20000u) << name;
    return bytes;
}

const char* const kPictures[] = {"baseline.jpg", "baseline-restarts.jpg", "progressive.jpg",
                                 "progressive-restarts.jpg", "gray.jpg"};

Bytes Random(std::size_t n, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<std::byte>(random());
    return bytes;
}

// A disk of random data with `picture` at sector 8: its first `firstLength` bytes, then `gap` bytes of
// `between`, then the rest.
struct Split {
    Bytes disk;
    std::uint64_t at = 8 * kSector;
    std::uint64_t firstLength = 0;
    std::uint64_t gap = 0;
};
Split Place(const Bytes& picture, std::uint64_t firstLength, const Bytes& between, std::uint32_t seed,
            std::uint64_t tail = 256 << 10) {
    Split split;
    split.firstLength = firstLength;
    split.gap = between.size();
    split.disk = Random(static_cast<std::size_t>(split.at), seed);
    split.disk.insert(split.disk.end(), picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(firstLength));
    split.disk.insert(split.disk.end(), between.begin(), between.end());
    split.disk.insert(split.disk.end(), picture.begin() + static_cast<std::ptrdiff_t>(firstLength), picture.end());
    const Bytes after = Random(static_cast<std::size_t>(tail), seed + 1);
    split.disk.insert(split.disk.end(), after.begin(), after.end());
    split.disk.resize((split.disk.size() + kSector - 1) / kSector * kSector);
    return split;
}

FormatVerdict ParseAt(const Bytes& disk, std::uint64_t at) {
    MemorySource source(disk);
    CarveInput input(source, at, UINT64_MAX);
    return FindFormatParser("jpg")(input);
}

// Another file's bytes as they lie in a gap: random (compressed data) or another picture's.
Bytes Between(std::uint64_t size, int kind, std::uint32_t seed, const std::string& picture) {
    if (kind == 0) return Random(static_cast<std::size_t>(size), seed);
    std::string name = kind == 1 ? "gray.jpg" : "progressive-restarts.jpg";
    if (name == picture) name = "baseline.jpg";
    Bytes other = Picture(name);
    Bytes filled;
    while (filled.size() < size) filled.insert(filled.end(), other.begin(), other.end());
    filled.resize(static_cast<std::size_t>(size));
    return filled;
}

TEST(RawJpegFragments, RealPicturesDecodeWholeAndACutOneBreaks) {
    for (const char* name : kPictures) {
        const Bytes picture = Picture(name);
        MemorySource source(picture);
        CarveInput input(source, 0, UINT64_MAX);
        const auto whole = formats::DecodeJpeg(input);
        EXPECT_EQ(whole.kind, formats::JpegDecodeResult::Kind::kWhole) << name;
        EXPECT_EQ(whole.at, picture.size()) << name;
        // Two sectors of the data overwritten a third of the way in: the decoder notices within the
        // picture.
        Bytes spoiled = picture;
        const Bytes noise = Random(1024, 7);
        std::copy(noise.begin(), noise.end(), spoiled.begin() + static_cast<std::ptrdiff_t>(picture.size() / 3));
        MemorySource spoiledSource(spoiled);
        CarveInput spoiledInput(spoiledSource, 0, UINT64_MAX);
        const auto broken = formats::DecodeJpeg(spoiledInput);
        EXPECT_NE(broken.kind, formats::JpegDecodeResult::Kind::kWhole) << name;
    }
}

TEST(RawJpegFragments, TwoPiecesAreJoinedAcrossGapsOfRandomDataAndOfOtherPictures) {
    struct Layout {
        std::uint64_t cluster;
        std::uint64_t firstClusters;  // of the picture before the gap (0: the cluster nearest 40 %)
        std::uint64_t gapClusters;
        int between;  // 0 random, 1 a grayscale picture's bytes, 2 a progressive picture's bytes
    };
    const Layout layouts[] = {
        {512, 0, 1, 0},      // one sector of random data
        {4096, 0, 3, 0},     // three 4 KiB clusters
        {4096, 2, 40, 1},    // a gap of 160 KiB of another picture, right after the headers
        {2048, 0, 7, 2},     // another progressive picture's data, with its restart markers
        {16384, 1, 2, 0},    // big clusters: the first piece is one cluster
        {512, 0, 2000, 0},   // a gap of almost a megabyte
    };
    std::uint32_t seed = 1;
    for (const char* name : kPictures) {
        const Bytes picture = Picture(name);
        for (const Layout& layout : layouts) {
            const std::uint64_t firstLength =
                layout.firstClusters != 0 ? layout.firstClusters * layout.cluster
                                          : std::max<std::uint64_t>(1, picture.size() * 2 / 5 / layout.cluster) *
                                                layout.cluster;
            ASSERT_LT(firstLength, picture.size());
            const Bytes between = Between(layout.cluster * layout.gapClusters, layout.between, ++seed, name);
            const Split split = Place(picture, firstLength, between, ++seed);
            const FormatVerdict verdict = ParseAt(split.disk, split.at);
            const std::string what = std::string(name) + " cluster " + std::to_string(layout.cluster) + " gap " +
                                     std::to_string(split.gap);
            ASSERT_EQ(verdict.kind, FormatVerdict::Kind::kLength) << what;
            ASSERT_TRUE(verdict.twoPieces()) << what;
            EXPECT_EQ(verdict.firstEnd, firstLength) << what;
            EXPECT_EQ(verdict.resumeAt, firstLength + split.gap) << what;
            EXPECT_EQ(verdict.length, picture.size() + split.gap) << what;
        }
    }
}

// Runs the carver over a disk with JPEG and PNG signatures.
struct Carved {
    std::unique_ptr<CRawCarver> carver;
    RawTypeSelection types;
};
std::unique_ptr<Carved> Carve(const Bytes& disk) {
    auto carved = std::make_unique<Carved>();
    SignatureEntry jpeg;
    jpeg.extension = "jpg";
    jpeg.description = "JPEG image";
    jpeg.partCount = 1;
    jpeg.patterns[0] = "ffd8ff";
    jpeg.enabled = true;
    SignatureEntry other = jpeg;  // a type without a parser: it runs to whatever comes next
    other.extension = "zzq";
    other.description = "Other";
    other.patterns[0] = "5a5a5a5a";
    carved->types.entries() = {jpeg, other};
    PartitionInfo partition;
    partition.driveLetter = 'R';
    partition.totalBytes = disk.size();
    carved->carver = std::make_unique<CRawCarver>(std::make_unique<MemorySource>(disk), partition);
    carved->carver->SetSignatures(&carved->types);
    ProgressFields progress;
    StopToken stop;
    EXPECT_EQ(carved->carver->Scan(progress, stop), 0);
    return carved;
}

Bytes Written(const CRawCarver& carver, const RawFileNode& node) {
    Bytes out;
    EXPECT_EQ(carver.WriteCarvedFile(&node, [&](std::span<const std::byte> data) -> Result<void> {
        out.insert(out.end(), data.begin(), data.end());
        return {};
    }), 0);
    Bytes preview;
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview), 0);
    EXPECT_EQ(preview, out);
    return out;
}

TEST(RawJpegFragments, CarverWritesBothPiecesAndStillFindsTheFilesInTheGap) {
    // A progressive picture in two pieces with a whole baseline picture and a file of a type without
    // a parser in the gap: both pictures come out byte for byte, and the other file ends where the
    // second piece begins.
    const Bytes picture = Picture("progressive.jpg");
    const Bytes inGap = Picture("baseline.jpg");
    Bytes between = inGap;
    between.resize((inGap.size() + 4095) / 4096 * 4096 + 8192, std::byte{0});
    Bytes noise = Random(8192, 99);
    std::fill(noise.begin(), noise.begin() + 4, std::byte{0x5A});
    std::copy(noise.begin(), noise.end(), between.end() - 8192);
    const Split split = Place(picture, 3 * 4096, between, 5);
    auto carved = Carve(split.disk);
    const auto& found = carved->carver->found();
    ASSERT_EQ(found.size(), 3u);
    const RawFileNode& other = *found[2];
    EXPECT_EQ(other.extension, "zzq");
    EXPECT_EQ(other.firstSector, (split.at + 3 * 4096 + between.size() - 8192) / kSector);
    EXPECT_EQ(other.length, 8192u);
    EXPECT_EQ(other.ended, RawFileEnd::kNextHeader);
    const RawFileNode& joined = *found[0];
    EXPECT_EQ(joined.ended, RawFileEnd::kParsed);
    EXPECT_EQ(joined.firstSector, split.at / kSector);
    EXPECT_EQ(joined.length, picture.size());
    ASSERT_EQ(joined.fragments.size(), 2u);
    EXPECT_EQ(joined.fragments[0], (RawExtent{split.at / kSector, 3 * 4096}));
    EXPECT_EQ(joined.fragments[1],
              (RawExtent{(split.at + 3 * 4096 + between.size()) / kSector, picture.size() - 3 * 4096}));
    EXPECT_EQ(Written(*carved->carver, joined), picture);
    const RawFileNode& gapFile = *found[1];
    EXPECT_EQ(gapFile.firstSector, (split.at + 3 * 4096) / kSector);
    EXPECT_TRUE(gapFile.fragments.empty());
    EXPECT_EQ(Written(*carved->carver, gapFile), inGap);
}

TEST(RawJpegFragments, PicturesWhoseRestIsNowhereStayPartial) {
    std::uint32_t seed = 1000;
    for (const char* name : kPictures) {
        const Bytes picture = Picture(name);
        // Cut after 40 % and followed by two megabytes of random data, for a few different randoms:
        // never a whole file, neither in one piece nor in two.
        for (int round = 0; round < 4; ++round) {
            const std::uint64_t cut = picture.size() * 2 / 5 / kSector * kSector;
            const Split split = Place(Bytes(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(cut)), cut,
                                      {}, ++seed, 2 << 20);
            const FormatVerdict verdict = ParseAt(split.disk, split.at);
            EXPECT_NE(verdict.kind, FormatVerdict::Kind::kLength) << name << " round " << round;
            EXPECT_FALSE(verdict.twoPieces()) << name;
        }
        // A gap holding a copy of the same picture: its rest is there twice, and which one is the
        // file's cannot be told.
        const Bytes copy = Between(20 * 4096, 1, 0, "baseline.jpg");
        Bytes twice = picture;
        twice.insert(twice.end(), copy.begin(), copy.end());
        const Split doubled = Place(picture, 2 * 4096, twice, ++seed);
        EXPECT_EQ(ParseAt(doubled.disk, doubled.at).kind, FormatVerdict::Kind::kPartial) << name;
        // Three pieces, the middle one missing: the rest is there but does not join on.
        const std::uint64_t third = picture.size() / 3 / kSector * kSector;
        Bytes withoutMiddle(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(third));
        const Bytes gap = Random(64 << 10, ++seed);
        withoutMiddle.insert(withoutMiddle.end(), gap.begin(), gap.end());
        withoutMiddle.insert(withoutMiddle.end(), picture.begin() + static_cast<std::ptrdiff_t>(2 * third),
                             picture.end());
        const Split split = Place(withoutMiddle, withoutMiddle.size(), {}, ++seed);
        const FormatVerdict verdict = ParseAt(split.disk, split.at);
        EXPECT_FALSE(verdict.twoPieces()) << name;
        EXPECT_EQ(verdict.kind, FormatVerdict::Kind::kPartial) << name;
    }
}

TEST(RawJpegFragments, TheSearchKeepsToItsBounds) {
    const Bytes picture = Picture("baseline.jpg");
    // A gap wider than the search goes: not found, the picture is partial.
    formats::JpegGapLimits limits;
    limits.maxGap = 64 << 10;
    const Split far = Place(picture, 8192, Random(128 << 10, 3), 4);
    MemorySource source(far.disk);
    CarveInput input(source, far.at, UINT64_MAX);
    EXPECT_FALSE(formats::FindJpegSecondFragment(input, limits));
    limits.maxGap = 256 << 10;
    const auto pieces = formats::FindJpegSecondFragment(input, limits);
    ASSERT_TRUE(pieces);
    EXPECT_EQ(pieces->resumeAt, 8192u + (128 << 10));
    // The second piece past the size limit the carver gives the parser: out of reach.
    CarveInput limited(source, far.at, 8192 + (128 << 10) + 4096);
    EXPECT_FALSE(formats::FindJpegSecondFragment(limited, limits));
    // A search that may not decode enough gives up instead of guessing.
    limits.budget = 4096;
    EXPECT_FALSE(formats::FindJpegSecondFragment(input, limits));
}

TEST(RawJpegFragments, CliListsTheFragmentsAndRecoveryReportsThem) {
    const Bytes picture = Picture("baseline-restarts.jpg");
    const Split split = Place(picture, 4 * 4096, Random(5 * 4096, 77), 78);
    const auto image = ImageFixtures::ScratchDir() / "raw-two-pieces.img";
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(split.disk.data()), static_cast<std::streamsize>(split.disk.size()));
    const auto out = ImageFixtures::ScratchDir() / "raw-two-pieces-out";
    std::filesystem::remove_all(out);
    const std::string cli = std::string(LUMACORE_CLI) + " --no-devices --image " + testing::ShellQuote(image.string());
    const std::string signatures = " --signatures " + testing::ShellQuote((ImageFixtures::SourceDir() / "res" / "rp.dat").string());
    const auto listed = testing::RunCommand(cli + " scan --mode raw --disk 0 --types jpg --json" + signatures);
    ASSERT_EQ(listed.status, 0) << listed.output;
    const std::uint64_t second = (split.at + 9 * 4096) / kSector;
    const std::string fragments = "\"fragments\":[{\"firstSector\":" + std::to_string(split.at / kSector) +
                                  ",\"diskSector\":" + std::to_string(split.at / kSector) + ",\"length\":16384},{" +
                                  "\"firstSector\":" + std::to_string(second) + ",\"diskSector\":" +
                                  std::to_string(second) + ",\"length\":" + std::to_string(picture.size() - 16384) + "}]";
    std::string compact;
    for (char c : listed.output)
        if (c != ' ' && c != '\n') compact += c;
    // In the deprecated tree and in the files list alike; files in one piece carry no such field.
    std::size_t seen = 0;
    for (std::size_t at = compact.find(fragments); at != std::string::npos; at = compact.find(fragments, at + 1)) ++seen;
    EXPECT_EQ(seen, 2u) << listed.output;
    EXPECT_NE(compact.find("\"length\":" + std::to_string(picture.size())), std::string::npos);

    const auto recovered = testing::RunCommand(cli + " recover --mode raw --disk 0 --types jpg --to " +
                                               testing::ShellQuote(out.string()) + signatures);
    ASSERT_EQ(recovered.status, 0) << recovered.output;
    Sha256 digest;
    digest.Update(picture);
    const std::string sha = digest.HexDigest();
    const auto tree = testing::Sha256Tree(out);
    ASSERT_EQ(tree.count("jpg/File0.jpg"), 1u);
    EXPECT_EQ(tree.at("jpg/File0.jpg"), sha);
    std::stringstream report;
    report << std::ifstream(out / "carving-report.tsv").rdbuf();
    EXPECT_EQ(report.str(), "name\ttype\tfirst sector\tlength\tended\tsha256\tfragments\nFile0.jpg\tJPEG image\t8\t" +
                                std::to_string(picture.size()) + "\tparsed\t" + sha + "\t8+16384 " +
                                std::to_string(second) + "+" + std::to_string(picture.size() - 16384) + "\n");
    std::stringstream xml;
    xml << std::ifstream(out / "report.xml").rdbuf();
    EXPECT_NE(xml.str().find("<byte_run file_offset=\"0\" img_offset=\"4096\" len=\"16384\"/>"), std::string::npos);
    EXPECT_NE(xml.str().find("<byte_run file_offset=\"16384\" img_offset=\"" + std::to_string(second * kSector) +
                             "\" len=\"" + std::to_string(picture.size() - 16384) + "\"/>"),
              std::string::npos)
        << xml.str();
    std::filesystem::remove_all(out);
    std::filesystem::remove(image);
}

}  // namespace
}  // namespace lumacore
