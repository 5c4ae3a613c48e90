// The shipped signature file checked against real files, and carving end to end through the library
// on disk images: a whole disk whose sector 0 is garbage, and a partition of a disk made with sfdisk.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "cli/raw_options.h"
#include "engines/raw/signature_matcher.h"
#include "engines/raw/xml_reader.h"
#include "integration/image_fixture.h"
#include "platform/system_device_map.h"
#include "session/raw_scan.h"

namespace lumacore {
namespace {

using testing::ImageFixtures;
using testing::RunCommand;
using testing::ShellQuote;

// The leading bytes (as far as the shipped signature of the type reaches) of real files, each made by
// the tool named or taken from a file installed on a Debian system; for the ISO image also the bytes
// of its first volume descriptor. An Excel workbook is carved as an Office Open XML document ("docx").
struct RealHeader {
    const char* extension;
    const char* madeBy;
    const char* head;
    std::pair<std::size_t, const char*> extra;
};
const RealHeader kRealHeaders[] = {
    {"tif", "ImageMagick, big-endian", "4d4d002a0000019678daeddc9d778271", {0, ""}},
    {"tif", "ImageMagick, little-endian", "49492a009601000078daeddc9d778271", {0, ""}},
    {"aif", "CPython test data", "464f524d0000006441494646434f4d54", {0, ""}},
    {"bmp", "ImageMagick", "424d8a240000000000008a0000007c000000", {0, ""}},
    {"bz2", "Python bz2", "425a68393141592653595d97ecad0005", {0, ""}},
    {"deb", "Debian archive", "213c617263683e0a64656269616e2d62696e617279", {0, ""}},
    {"docx",
     "Python zipfile, Word layout",
     "504b030414000000080000002100e6b8746b5c00000062000000130000005b436f6e74656e745f54797065735d2e786d6c",
     {0, ""}},
    {"elf", "/bin/ls", "7f454c46020101000000000000000000", {0, ""}},
    {"epub",
     "Python zipfile, EPUB layout",
     "504b0304140000000000000021006f61ab2c1400000014000000080000006d696d65747970656170706c69636174696f6e2f657"
     "075622b7a6970",
     {0, ""}},
    {"exe", "distlib w32.exe", "4d5a90000300000004000000ffff0000", {0, ""}},
    {"gif", "ImageMagick", "47494638396140003000f50000ff0000", {0, ""}},
    {"gz", "Python gzip", "1f8b0800a166176b02ffedc331090000", {0, ""}},
    {"heic", "ImageMagick (libheif)", "0000001c667479706865696300000000", {0, ""}},
    {"html", "rustdoc page", "3c21444f43545950452068746d6c3e0a", {0, ""}},
    {"ico", "IDLE icon", "00000100040010100000010020006804", {0, ""}},
    {"iso", "genisoimage", "00000000000000000000000000000000", {32768, "0143443030310100"}},
    {"jar",
     "jsr305 jar from Maven",
     "504b03041400000800001d940a4b000000000000000000000000090004004d4554412d494e462f",
     {0, ""}},
    {"jp2", "ImageMagick (OpenJPEG)", "0000000c6a5020200d0a870a00000014", {0, ""}},
    {"jpg", "ImageMagick", "ffd8ffe000104a464946000101000001", {0, ""}},
    {"mp3", "gsutil test data", "49443304000000000016545353450000", {0, ""}},
    {"odp",
     "Python zipfile, ODF layout",
     "504b0304140000000000000021003326aca82f0000002f000000080000006d696d65747970656170706c69636174696f6e2f766"
     "e642e6f617369732e6f70656e646f63756d656e742e70726573656e746174696f6e",
     {0, ""}},
    {"ods",
     "Python zipfile, ODF layout",
     "504b030414000000000000002100856c398a2e0000002e000000080000006d696d65747970656170706c69636174696f6e2f766"
     "e642e6f617369732e6f70656e646f63756d656e742e7370726561647368656574",
     {0, ""}},
    {"odt",
     "Python zipfile, ODF layout",
     "504b0304140000000000000021005ec6320c2700000027000000080000006d696d65747970656170706c69636174696f6e2f766"
     "e642e6f617369732e6f70656e646f63756d656e742e74657874",
     {0, ""}},
    {"pdf", "libtasn1 manual", "255044462d312e350a25d0d4c5d80a31", {0, ""}},
    {"png", "ImageMagick", "89504e470d0a1a0a0000000d49484452", {0, ""}},
    {"psd", "ImageMagick", "38425053000100000000000000030000", {0, ""}},
    {"sqlite", "SQLite 3", "53514c69746520666f726d6174203300", {0, ""}},
    {"wav", "Python wave", "524946466406000057415645666d7420", {0, ""}},
    {"webp", "CPython test data", "52494646a80100005745425056503858", {0, ""}},
    {"xz", "Python lzma", "fd377a585a000004e6d6b44602002101", {0, ""}},
    {"zip", "Python zipfile", "504b03041400000008000000210086a6", {0, ""}},
    {"zst", "zstd", "28b52ffd242c6101001f8b0800a16617", {0, ""}},
    {"ico", "ImageMagick", "0000010001002018000001002000880c", {0, ""}},
    {"odt",
     "docutils styles.odt",
     "504b03041400000800006ca9da3e5ec6320c2700000027000000080000006d696d65747970656170706c69636174696f6e2f766"
     "e642e6f617369732e6f70656e646f63756d656e742e74657874",
     {0, ""}},
    {"docx",
     "Python zipfile, Excel layout",
     "504b030414000000080000002100e6b8746b5c00000062000000130000005b436f6e74656e745f54797065735d2e786d6c",
     {0, ""}},
};

std::vector<std::byte> FromHex(std::string_view hex) {
    std::vector<std::byte> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::byte>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::filesystem::path ShippedFile() {
    return ImageFixtures::SourceDir() / "res" / "rp.dat";
}

std::vector<SignatureEntry> Shipped() {
    std::vector<SignatureEntry> entries;
    EXPECT_TRUE(LoadSignatures(entries, ShippedFile()));
    return entries;
}

// A real file's header laid into a window of the size the matcher looks at.
std::vector<std::byte> HeaderWindow(const RealHeader& header, std::size_t size) {
    std::vector<std::byte> window(size, std::byte{0});
    const auto head = FromHex(header.head);
    std::copy(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(std::min(head.size(), size)),
              window.begin());
    const auto extra = FromHex(header.extra.second);
    for (std::size_t i = 0; i < extra.size() && header.extra.first + i < size; ++i)
        window[header.extra.first + i] = extra[i];
    return window;
}

TEST(RawShippedSignatures, CoverTheCommonTypesWithinTheFieldBounds) {
    const auto entries = Shipped();
    std::set<std::string> extensions, descriptions;
    for (const SignatureEntry& entry : entries) {
        extensions.insert(entry.extension);
        descriptions.insert(entry.description);
        EXPECT_LE(entry.extension.size(), SignatureEntry::kMaxExtension);
        EXPECT_LE(entry.description.size(), SignatureEntry::kMaxDescription);
        for (int p = 0; p < entry.partCount; ++p) {
            const std::string& pattern = entry.patterns[static_cast<std::size_t>(p)];
            EXPECT_FALSE(pattern.empty()) << entry.extension;
            EXPECT_EQ(pattern.find_first_not_of("0123456789abcdef|"), std::string::npos) << entry.extension;
        }
    }
    EXPECT_GE(extensions.size(), 40u);
    for (const char* wanted :
         {"jpg", "png", "gif", "bmp", "tif", "pdf", "zip", "docx", "doc", "rar", "7z",
          "gz",  "mp3", "wav", "avi", "mp4", "mov", "mpg", "wmv",  "psd", "exe", "sqlite"}) {
        EXPECT_EQ(extensions.count(wanted), 1u) << wanted;
    }
    // Found files join the first kind whose name contains their description: no description may
    // contain another, or files would land in the wrong kind.
    for (const std::string& a : descriptions) {
        for (const std::string& b : descriptions) {
            if (a != b) {
                EXPECT_EQ(a.find(b), std::string::npos) << "'" << a << "' contains '" << b << "'";
            }
        }
    }
}

TEST(RawShippedSignatures, StoredFormLoadsTheSameEntries) {
    std::ifstream in(ShippedFile(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto stored = EncodeStoredForm(text);
    ASSERT_TRUE(stored);
    std::vector<SignatureEntry> fromStored;
    ASSERT_TRUE(LoadSignaturesFromBytes(fromStored, *stored));
    const auto plain = Shipped();
    ASSERT_EQ(fromStored.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(fromStored[i].description, plain[i].description);
        EXPECT_EQ(fromStored[i].patterns, plain[i].patterns);
        EXPECT_EQ(fromStored[i].offsets, plain[i].offsets);
    }
}

TEST(RawShippedSignatures, RealFilesAreRecognisedAsTheirType) {
    const auto entries = Shipped();
    const SignatureMatcher matcher(entries);
    for (const RealHeader& header : kRealHeaders) {
        const auto window = HeaderWindow(header, kRawSectorSize + matcher.lookahead());
        const int found = matcher.Match(window);
        ASSERT_GE(found, 0) << header.extension << " made by " << header.madeBy;
        EXPECT_EQ(entries[static_cast<std::size_t>(found)].extension, header.extension) << header.madeBy;
        EXPECT_EQ(MatchSignaturesByText(entries, window), found);
    }
}

TEST(RawShippedSignatures, CompiledMatcherEqualsTheTextualRuleOnEverySignature) {
    const auto entries = Shipped();
    std::mt19937 random(8);
    // Each signature alone and with all the others, on windows that hold its own parts (each
    // alternative in turn), then with single bytes spoiled, and on random data.
    for (std::size_t e = 0; e < entries.size(); ++e) {
        std::vector<SignatureEntry> alone{entries[e]};
        const SignatureMatcher one(alone);
        const SignatureMatcher all(entries);
        const std::size_t size = kRawSectorSize + all.lookahead();
        for (int alternative = 0; alternative < 24; ++alternative) {
            // Random filler, and zeros: most sectors of a real disk start with bytes that many
            // signatures start with too.
            std::vector<std::byte> window(size);
            if (alternative % 2 == 0) {
                for (auto& b : window) b = static_cast<std::byte>(random());
            }
            for (int p = 0; p < entries[e].partCount; ++p) {
                const std::string& pattern = entries[e].patterns[static_cast<std::size_t>(p)];
                std::vector<std::string> alternatives;
                for (std::size_t from = 0; from <= pattern.size();) {
                    const std::size_t bar = std::min(pattern.find('|', from), pattern.size());
                    alternatives.push_back(pattern.substr(from, bar - from));
                    from = bar + 1;
                }
                std::string chosen =
                    alternatives[static_cast<std::size_t>(alternative / 2) % alternatives.size()];
                if (chosen.size() % 2 != 0) chosen += "0";
                const auto bytes = FromHex(chosen);
                std::copy(bytes.begin(), bytes.end(),
                          window.begin() + entries[e].offsets[static_cast<std::size_t>(p)]);
            }
            EXPECT_EQ(one.Match(window), MatchSignaturesByText(alone, window));
            EXPECT_EQ(one.Match(window), 0) << entries[e].extension;
            EXPECT_EQ(all.Match(window), MatchSignaturesByText(entries, window));
            for (int spoil = 0; spoil < 8; ++spoil) {
                window[random() % 64] = static_cast<std::byte>(random());
                EXPECT_EQ(all.Match(window), MatchSignaturesByText(entries, window)) << entries[e].extension;
            }
        }
    }
    const SignatureMatcher all(entries);
    std::vector<std::byte> data(1 << 20);
    for (auto& b : data) b = static_cast<std::byte>(random());
    // A stretch of zeros and one of 0xFF, as erased and never-written disk areas hold.
    std::fill(data.begin(), data.begin() + (1 << 16), std::byte{0});
    std::fill(data.begin() + (1 << 16), data.begin() + (1 << 17), std::byte{0xFF});
    for (std::size_t at = 0; at + kRawSectorSize + all.lookahead() <= data.size(); at += kRawSectorSize) {
        const auto window = std::span<const std::byte>(data).subspan(at, kRawSectorSize + all.lookahead());
        ASSERT_EQ(all.Match(window), MatchSignaturesByText(entries, window)) << at;
    }
}

// A disk image holding the real headers at known sectors, each followed by filler of its own.
struct CarvedImage {
    std::filesystem::path path;
    std::vector<std::pair<std::uint64_t, std::string>> placed;  // (sector, extension)
    std::uint64_t sectors = 0;
};

CarvedImage MakeImage(const std::string& name, std::uint64_t sectors, std::uint64_t from, std::uint64_t to) {
    CarvedImage image;
    image.path = ImageFixtures::ScratchDir() / name;
    image.sectors = sectors;
    std::vector<std::byte> disk(sectors * 512);
    std::mt19937 random(42);
    // Text-like filler: no byte sequence of it starts a shipped signature.
    for (auto& b : disk) b = static_cast<std::byte>('a' + random() % 26);
    std::uint64_t sector = from;
    for (const RealHeader& header : kRealHeaders) {
        const auto window = HeaderWindow(header, 32776);
        const std::size_t keep = header.extra.first > 0 ? window.size() : FromHex(header.head).size();
        if ((sector + 80) > to) break;
        std::copy(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(keep),
                  disk.begin() + static_cast<std::ptrdiff_t>(sector * 512));
        image.placed.emplace_back(sector, header.extension);
        sector += keep > 512 ? 80 : 3 + random() % 9;
    }
    std::ofstream(image.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(disk.data()), static_cast<std::streamsize>(disk.size()));
    return image;
}

std::unique_ptr<SystemDeviceMap> Devices(const std::filesystem::path& image) {
    SystemDeviceMap::Options options;
    options.images = {image.string()};
    options.includeBlockDevices = false;
    auto map = SystemDeviceMap::Create(options);
    EXPECT_TRUE(map);
    return map ? std::move(*map) : nullptr;
}

Result<std::unique_ptr<RawScan>> ScanWith(const DeviceMap& devices,
                                          const std::vector<std::string>& arguments) {
    OptionParser options;
    options.Value("--volume").Value("--disk").Value("--start").Value("--end").Flag("--json");
    AddRawOptions(options);
    EXPECT_TRUE(options.Parse(arguments));
    auto request = RawRequestFromOptions(devices, options);
    if (!request) return request.error();
    request->signatureFile = ShippedFile();
    // The image holds real headers with filler after them, not whole files: the header-to-header rule.
    request->parseEnds = false;
    ProgressFields progress;
    return ScanRaw(devices, *request, progress);
}

TEST(RawCarvingImages, WholeDiskWithoutPartitionTableIsCarvedAndRecovered) {
    const auto image = MakeImage("raw-whole-disk.img", 4096, 0, 4096);
    auto devices = Devices(image.path);
    ASSERT_TRUE(devices);
    auto scan = ScanWith(*devices, {"--disk", "0"});
    ASSERT_TRUE(scan) << scan.error().message;
    const auto& found = (*scan)->carver->found();
    ASSERT_EQ(found.size(), image.placed.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i]->firstSector, image.placed[i].first) << image.placed[i].second;
        EXPECT_EQ(found[i]->extension, image.placed[i].second);
        EXPECT_EQ(found[i]->name, "File" + std::to_string(i) + "." + image.placed[i].second);
        const std::uint64_t next = i + 1 < found.size() ? image.placed[i + 1].first : image.sectors;
        EXPECT_EQ(found[i]->length, (next - image.placed[i].first) * 512);
    }
    EXPECT_EQ((*scan)->tree.item((*scan)->root).text, "RAW - Logical Disk (*:)");
    std::string jpegName, bz2Name;
    for (const auto& node : found) {
        if (node->extension == "jpg") jpegName = node->name;
        if (node->extension == "bz2") bz2Name = node->name;
    }
    ASSERT_FALSE(jpegName.empty());
    ASSERT_FALSE(bz2Name.empty());
    const std::string json = RawTreeJson(**scan);
    EXPECT_NE(json.find("\"name\": \"" + jpegName + "\""), std::string::npos) << json.substr(0, 400);
    EXPECT_NE(json.find("\"description\": \"JPEG image\""), std::string::npos);
    EXPECT_NE(RawTreeText(**scan).find("Found Raw Files : " + std::to_string(found.size())),
              std::string::npos);

    // Only some types, and a size limit.
    auto some = ScanWith(*devices, {"--disk", "0", "--types", "jpg,PNG", "--size-limit", "1"});
    ASSERT_TRUE(some);
    ASSERT_EQ((*some)->carver->found().size(), 2u);
    EXPECT_EQ((*some)->carver->found()[1]->extension, "png");
    EXPECT_EQ((*some)->carver->found()[1]->length, 1024u);
    auto unknown = ScanWith(*devices, {"--disk", "0", "--types", "jpg,nosuch"});
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.error().message.find("nosuch"), std::string::npos);

    // Recovery: one folder per extension, the bytes of the image.
    const auto out = ImageFixtures::ScratchDir() / "raw-whole-disk-out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    RawScan& all = **scan;
    ASSERT_TRUE(CheckRawPath(all, "JPEG image"));
    ASSERT_TRUE(CheckRawPath(all, bz2Name));
    EXPECT_FALSE(CheckRawPath(all, "PNG image/" + jpegName));
    RecoveredFileWriter writer(out, OverwritePolicy::Never, nullptr, {image.path});
    ProgressFields progress;
    StopToken stop;
    const auto result = RecoverRaw(all, writer, progress, stop);
    EXPECT_EQ(result.filesWritten, 2u);
    EXPECT_TRUE(result.reportLines.empty());
    std::ifstream disk(image.path, std::ios::binary);
    for (const std::string& file : {"jpg/" + jpegName, "bz2/" + bz2Name}) {
        const auto path = out / file;
        ASSERT_TRUE(std::filesystem::exists(path)) << file;
        const RawFileNode* node = nullptr;
        for (const auto& n : found) {
            if (path.filename() == n->name) node = n.get();
        }
        ASSERT_NE(node, nullptr);
        std::vector<char> expected(node->length), actual(node->length);
        disk.seekg(static_cast<std::streamoff>(node->firstSector * 512));
        disk.read(expected.data(), static_cast<std::streamsize>(expected.size()));
        std::ifstream(path, std::ios::binary)
            .read(actual.data(), static_cast<std::streamsize>(actual.size()));
        EXPECT_EQ(std::filesystem::file_size(path), node->length);
        EXPECT_TRUE(expected == actual) << file;
    }
}

TEST(RawCarvingImages, PartitionRangeIsRelativeToThePartition) {
    if (!testing::ToolAvailable("sfdisk")) GTEST_SKIP() << "sfdisk is not installed";
    const auto image = MakeImage("raw-partition.img", 8192, 2048 + 100, 8192);
    const auto layout = RunCommand(
        "printf 'label: dos\\nstart=2048, size=6144, type=83\\n' | sfdisk --no-reread --no-tell-kernel -q " +
        ShellQuote(image.path.string()) + " 2>&1");
    ASSERT_EQ(layout.status, 0) << layout.output;
    auto devices = Devices(image.path);
    ASSERT_TRUE(devices);
    // The partition from its sector 100 (absolute 2148) to absolute sector 2400.
    auto scan = ScanWith(*devices, {"--disk", "0", "--start", "2048", "--end", "2400"});
    ASSERT_TRUE(scan) << scan.error().message;
    const auto& found = (*scan)->carver->found();
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0]->firstSector, 100u);  // relative to the partition
    EXPECT_EQ((*scan)->carver->partitionOffset(), 2048u * 512);
    for (const auto& node : found) EXPECT_LE(node->firstSector * 512 + node->length, (2400u - 2048u) * 512);
    std::size_t inRange = 0;
    for (const auto& [sector, ext] : image.placed) inRange += sector < 2400 ? 1 : 0;
    EXPECT_EQ(found.size(), inRange);
    EXPECT_NE(RawTreeJson(**scan).find("\"diskSector\": 2148"), std::string::npos);
}

}  // namespace
}  // namespace lumacore
