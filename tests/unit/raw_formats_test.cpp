// Format parsers at a candidate header: where each format ends a file, what a false header looks like,
// and how damaged data is told apart; and the carver using their answers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/sha256.h"
#include "engines/raw/carve_input.h"
#include "engines/raw/format_verdict.h"
#include "engines/raw/raw_carver.h"

namespace lumacore {
namespace {

using Bytes = std::vector<std::byte>;
using Kind = FormatVerdict::Kind;

void Append(Bytes& out, std::string_view text) {
    for (const char c : text) out.push_back(static_cast<std::byte>(c));
}
// Fields wider than eight bytes are zero-padded (a 64-bit value shifted by 64 is undefined).
std::byte ByteOf(std::uint64_t value, int i) {
    return i < 8 ? static_cast<std::byte>(value >> (8 * i)) : std::byte{0};
}
void AppendBe(Bytes& out, std::uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) out.push_back(ByteOf(value, i));
}
void AppendLe(Bytes& out, std::uint64_t value, int n) {
    for (int i = 0; i < n; ++i) out.push_back(ByteOf(value, i));
}
Bytes Text(std::string_view text) {
    Bytes out;
    Append(out, text);
    return out;
}

FormatVerdict Parse(std::string_view extension, const Bytes& bytes, std::uint64_t limit = UINT64_MAX) {
    MemorySource source(bytes);
    CarveInput input(source, 0, limit);
    const FormatParser parser = FindFormatParser(extension);
    EXPECT_NE(parser, nullptr) << extension;
    return parser ? parser(input) : FormatVerdict::Reject();
}

// A baseline JPEG's bytes: an APP1 holding a whole thumbnail (SOI to EOI), tables, a frame, a scan
// whose data has stuffed bytes and a restart marker, and the end.
Bytes Jpeg() {
    Bytes jpeg = Text("\xFF\xD8");
    const Bytes thumbnail = Text("\xFF\xD8\xFF\xDB\x00\x04\x00\x00\xFF\xD9");
    Append(jpeg, "\xFF\xE1");
    AppendBe(jpeg, 2 + 6 + thumbnail.size(), 2);
    Append(jpeg, std::string_view("Exif\0\0", 6));
    jpeg.insert(jpeg.end(), thumbnail.begin(), thumbnail.end());
    Append(jpeg, std::string_view("\xFF\xDB\x00\x05\x00\x01\x02", 7));
    Append(jpeg, std::string_view("\xFF\xC0\x00\x0B\x08\x00\x10\x00\x10\x01\x01\x11\x00", 13));
    Append(jpeg, std::string_view("\xFF\xC4\x00\x04\x00\x00", 6));
    Append(jpeg, std::string_view("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10));
    Append(jpeg, std::string_view("\x12\x34\xFF\x00\x56\xFF\xD0\x78\x9A", 9));
    Append(jpeg, "\xFF\xD9");
    return jpeg;
}

Bytes PngChunk(std::string_view type, const Bytes& data) {
    Bytes chunk;
    AppendBe(chunk, data.size(), 4);
    Append(chunk, type);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()) + 4, static_cast<uInt>(data.size() + 4));
    AppendBe(chunk, crc, 4);
    return chunk;
}

Bytes Png() {
    Bytes png = Text("\x89PNG\r\n\x1a\n");
    for (const Bytes& chunk : {PngChunk("IHDR", Bytes(13, std::byte{1})), PngChunk("IDAT", Text("pixels")),
                               PngChunk("IEND", {})}) {
        png.insert(png.end(), chunk.begin(), chunk.end());
    }
    return png;
}

// A stored ZIP: local headers and data, the central directory, the end record with a comment.
Bytes Zip(const std::vector<std::pair<std::string, Bytes>>& members, std::string_view comment = "") {
    Bytes zip, directory;
    for (const auto& [name, data] : members) {
        const std::uint64_t at = zip.size();
        AppendLe(zip, 0x04034B50, 4);
        AppendLe(zip, 20, 2);
        AppendLe(zip, 0, 2);
        AppendLe(zip, 0, 2);  // stored
        AppendLe(zip, 0, 8);
        AppendLe(zip, data.size(), 4);
        AppendLe(zip, data.size(), 4);
        AppendLe(zip, name.size(), 2);
        AppendLe(zip, 0, 2);
        Append(zip, name);
        zip.insert(zip.end(), data.begin(), data.end());
        AppendLe(directory, 0x02014B50, 4);
        AppendLe(directory, 20, 2);
        AppendLe(directory, 20, 2);
        AppendLe(directory, 0, 12);
        AppendLe(directory, data.size(), 4);
        AppendLe(directory, data.size(), 4);
        AppendLe(directory, name.size(), 2);
        AppendLe(directory, 0, 12);
        AppendLe(directory, at, 4);
        Append(directory, name);
    }
    const std::uint64_t directoryAt = zip.size();
    zip.insert(zip.end(), directory.begin(), directory.end());
    AppendLe(zip, 0x06054B50, 4);
    AppendLe(zip, 0, 4);
    AppendLe(zip, members.size(), 2);
    AppendLe(zip, members.size(), 2);
    AppendLe(zip, directory.size(), 4);
    AppendLe(zip, directoryAt, 4);
    AppendLe(zip, comment.size(), 2);
    Append(zip, comment);
    return zip;
}

TEST(RawFormats, JpegEndsAtItsOwnEndNotAtTheThumbnailsAndTellsDamageFromFalseHeaders) {
    Bytes jpeg = Jpeg();
    const std::size_t length = jpeg.size();
    jpeg.resize(length + 3000, std::byte{0x55});
    EXPECT_EQ(Parse("jpg", jpeg).kind, Kind::kLength);
    EXPECT_EQ(Parse("jpg", jpeg).length, length);
    // The size limit stops the walk before the end: the end is not known.
    EXPECT_EQ(Parse("jpg", jpeg, length - 4).kind, Kind::kUnknown);
    // Scan data that turns into something else: the picture stops there.
    Bytes damaged = Jpeg();
    damaged[damaged.size() - 4] = std::byte{0xFF};
    damaged[damaged.size() - 3] = std::byte{0x23};
    EXPECT_EQ(Parse("jpg", damaged).kind, Kind::kPartial);
    EXPECT_EQ(Parse("jpg", damaged).length, damaged.size() - 4);
    // A header followed by anything but marker segments is no JPEG at all.
    EXPECT_EQ(Parse("jpg", Text(std::string_view("\xFF\xD8\xFF\xE0\x00\x10garbage-garbage-garbage", 29))).kind, Kind::kReject);
    EXPECT_EQ(Parse("jpg", Text("\xFF\xD8\xFF\xD9")).kind, Kind::kReject);
}

TEST(RawFormats, PngChecksItsChunksAndEndsAfterIend) {
    Bytes png = Png();
    const std::size_t length = png.size();
    png.resize(length + 100);
    EXPECT_EQ(Parse("png", png).length, length);
    EXPECT_EQ(Parse("png", png).kind, Kind::kLength);
    Bytes damaged = png;
    damaged[8 + 25 + 8] = std::byte{'X'};  // inside IDAT's data
    EXPECT_EQ(Parse("png", damaged).kind, Kind::kPartial);
    EXPECT_EQ(Parse("png", damaged).length, 8u + 25u);
    Bytes header = Png();
    header[12] = std::byte{'#'};  // the first chunk's type
    EXPECT_EQ(Parse("png", header).kind, Kind::kReject);
}

TEST(RawFormats, ZipEndsAtItsOwnEndRecordAndIsNamedByItsMembers) {
    const Bytes inner = Zip({{"inner.txt", Text("inside")}});
    const Bytes outer = Zip({{"[Content_Types].xml", Text("<Types/>")}, {"word/document.xml", Text("<doc/>")},
                             {"nested.zip", inner}},
                            "a comment");
    Bytes disk = outer;
    disk.resize(disk.size() + 700, std::byte{0});
    const FormatVerdict verdict = Parse("zip", disk);
    EXPECT_EQ(verdict.kind, Kind::kLength);
    EXPECT_EQ(verdict.length, outer.size());  // the nested archive's end record is not this one's
    EXPECT_EQ(verdict.extension, "docx");
    EXPECT_EQ(Parse("zip", Zip({{"META-INF/MANIFEST.MF", Text("x")}})).extension, "jar");
    EXPECT_EQ(Parse("zip", Zip({{"a.txt", Text("x")}})).extension, "zip");
    Bytes odt = Zip({{"mimetype", Text("application/vnd.oasis.opendocument.text")}});
    EXPECT_EQ(Parse("zip", odt).extension, "odt");
    // Impossible local header fields: no archive starts here.
    Bytes bad = Zip({{"a.txt", Text("x")}});
    bad[8] = std::byte{77};  // compression method
    EXPECT_EQ(Parse("zip", bad).kind, Kind::kReject);
    // No end record within reach.
    const Bytes cut(outer.begin(), outer.begin() + 60);
    EXPECT_EQ(Parse("zip", cut).kind, Kind::kUnknown);
}

TEST(RawFormats, PdfKeepsItsIncrementalUpdatesButNotTheNextDocument) {
    const std::string first = "%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n";
    const std::string update = "2 0 obj\n<< /Title (x) >>\nendobj\nxref\n0 1\ntrailer\n<<>>\nstartxref\n9\n%%EOF\r\n";
    EXPECT_EQ(Parse("pdf", Text(first + update + std::string(100, '\0'))).length, first.size() + update.size());
    EXPECT_EQ(Parse("pdf", Text(first + "%PDF-1.5\n%%EOF\n")).length, first.size());
    EXPECT_EQ(Parse("pdf", Text(first + "\x01\x02garbage %%EOF\n")).length, first.size());
    EXPECT_EQ(Parse("pdf", Text("%PDF-1.4\n1 0 obj")).kind, Kind::kUnknown);
    // A cut PDF does not run on to the next document's end and swallow what lies between.
    EXPECT_EQ(Parse("pdf", Text("%PDF-1.4\n\x01\x02 cut here PK\x03\x04 %PDF-1.7\n1 0 obj\n%%EOF\n")).kind,
              Kind::kUnknown);
    EXPECT_EQ(Parse("pdf", Text("%PDF-x.4\n1 0 obj\n%%EOF")).kind, Kind::kReject);
}

TEST(RawFormats, LengthFieldsAreCheckedBeforeTheyAreBelieved) {
    // SQLite: page size times page count, while the count is current.
    Bytes sqlite = Text(std::string_view("SQLite format 3\0", 16));
    sqlite.resize(100, std::byte{0});
    sqlite[16] = std::byte{0x10};  // 4096
    sqlite[18] = sqlite[19] = std::byte{1};
    sqlite[27] = std::byte{7};  // change counter
    sqlite[31] = std::byte{3};  // pages
    sqlite[95] = std::byte{7};  // valid for
    EXPECT_EQ(Parse("sqlite", sqlite).length, 3u * 4096);
    sqlite[95] = std::byte{6};
    EXPECT_EQ(Parse("sqlite", sqlite).kind, Kind::kUnknown);
    sqlite[16] = std::byte{0x11};  // not a power of two
    EXPECT_EQ(Parse("sqlite", sqlite).kind, Kind::kReject);

    // RIFF: the chunk size, padded to even; the form names the type.
    Bytes wav = Text("RIFF");
    AppendLe(wav, 4 + 8 + 7, 4);
    Append(wav, "WAVEdata");
    AppendLe(wav, 7, 4);
    wav.resize(wav.size() + 7 + 40, std::byte{0});
    EXPECT_EQ(Parse("wav", wav).length, 8u + 19u + 1u);
    EXPECT_EQ(Parse("avi", wav).extension, "wav");
    Bytes riff = Text(std::string_view("RIFF\x10\x00\x00\x00\x01\x02\x03\x04", 12));
    EXPECT_EQ(Parse("wav", riff).kind, Kind::kReject);

    // BMP: the file size, if the header around it is a bitmap's.
    Bytes bmp = Text("BM");
    AppendLe(bmp, 70, 4);
    AppendLe(bmp, 0, 4);
    AppendLe(bmp, 54, 4);
    AppendLe(bmp, 40, 4);
    AppendLe(bmp, 4, 4);
    AppendLe(bmp, 4, 4);
    AppendLe(bmp, 1, 2);
    AppendLe(bmp, 8, 2);
    bmp.resize(200, std::byte{0});
    EXPECT_EQ(Parse("bmp", bmp).length, 70u);
    bmp[28] = std::byte{7};  // 7 bits a pixel
    EXPECT_EQ(Parse("bmp", bmp).kind, Kind::kReject);

    // MP3 without a tag: a run of frames of one kind, or nothing.
    Bytes mp3;
    for (int i = 0; i < 10; ++i) {
        AppendBe(mp3, 0xFFFB9000, 4);  // MPEG-1 layer III, 128 kbit/s, 44.1 kHz: 417 bytes
        mp3.resize(mp3.size() + 413, std::byte{0x11});
    }
    const std::size_t frames = mp3.size();
    mp3.resize(frames + 300, std::byte{0});
    EXPECT_EQ(Parse("mp3", mp3).length, frames);
    const Bytes few(mp3.begin(), mp3.begin() + 3 * 417);
    Bytes shortRun = few;
    shortRun.resize(few.size() + 100, std::byte{0});
    EXPECT_EQ(Parse("mp3", shortRun).kind, Kind::kReject);
}

TEST(RawFormats, CompressedStreamsEndWhereTheirDecoderStops) {
    const std::string text(5000, 'z');
    Bytes gz(100);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(gz.data());
    z.avail_out = static_cast<uInt>(gz.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    gz.resize(z.total_out);
    deflateEnd(&z);
    Bytes disk = gz;
    disk.resize(disk.size() + 512, std::byte{0x5A});
    EXPECT_EQ(Parse("gz", disk).length, gz.size());
    const Bytes cut(gz.begin(), gz.end() - 8);
    EXPECT_EQ(Parse("gz", cut).kind, Kind::kUnknown);
    Bytes noise = Text("\x1f\x8b\x08\x00");
    noise.resize(600, std::byte{0xEE});
    EXPECT_EQ(Parse("gz", noise).kind, Kind::kReject);
}

TEST(RawFormats, CarveInputFindsAcrossItsWindowsAndStaysInsideItsLimit) {
    Bytes bytes(3 * CarveInput::kMaxWindow, std::byte{0});
    const std::size_t at = CarveInput::kMaxWindow / 2 - 2;  // straddles the first two search windows
    for (std::size_t i = 0; i < 5; ++i) bytes[at + i] = static_cast<std::byte>("%%EOF"[i]);
    MemorySource source(bytes);
    CarveInput input(source, 0, bytes.size());
    EXPECT_EQ(input.Find(0, bytes.size(), "%%EOF"), at);
    EXPECT_EQ(input.Find(at + 1, bytes.size(), "%%EOF"), std::nullopt);
    CarveInput limited(source, 0, at + 4);
    EXPECT_EQ(limited.Find(0, bytes.size(), "%%EOF"), std::nullopt);
    EXPECT_EQ(limited.U32le(at + 1), std::nullopt);
    EXPECT_EQ(limited.Window(at, 100).size(), 4u);
    CarveInput based(source, at, 5);
    EXPECT_TRUE(based.Equals(0, "%%EOF"));
    EXPECT_EQ(based.FindByte(0, 100, 'F'), 4u);
}

TEST(RawFormats, Sha256MatchesTheStandardVectors) {
    Sha256 empty;
    EXPECT_EQ(empty.HexDigest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    Sha256 pieces;
    const Bytes text = Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
    pieces.Update(std::span<const std::byte>(text).first(10));
    pieces.Update(std::span<const std::byte>(text).subspan(10));
    EXPECT_EQ(pieces.HexDigest(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// The carver with the parsers: a parsed file ends where its format says and headers inside it are
// its content; a false header neither starts a file nor ends the one before; types without a parser
// run to the next header; the size limit still cuts.
TEST(RawCarverParsing, ParsedEndsFalseHeadersAndFallbacks) {
    constexpr std::size_t kSector = 512;
    Bytes disk(64 * kSector, std::byte{0});
    auto put = [&](std::size_t sector, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), disk.begin() + static_cast<std::ptrdiff_t>(sector * kSector));
    };
    // A JPEG whose scan data runs over three sectors; the third starts with a PNG signature, which is
    // the picture's content there, not a header.
    Bytes jpeg = Jpeg();
    jpeg.resize(jpeg.size() - 2);
    jpeg.resize(3 * kSector, std::byte{0x11});
    const Bytes signature = Text("\x89PNG\r\n\x1a\n");
    std::copy(signature.begin(), signature.end(), jpeg.begin() + 2 * kSector);
    jpeg.resize(jpeg.size() + 10, std::byte{0x11});
    Append(jpeg, "\xFF\xD9");
    put(1, jpeg);
    put(10, Text(std::string_view("\xFF\xD8\xFF\xE0\x00\x10not a jpeg at all, only its first bytes", 45)));
    put(12, Text("UNKNOWN!"));
    put(20, Png());
    put(30, Text("UNKNOWN!"));

    RawTypeSelection types;
    auto entry = [](std::string ext, std::string description, std::string pattern) {
        SignatureEntry e;
        e.extension = std::move(ext);
        e.description = std::move(description);
        e.patterns[0] = std::move(pattern);
        e.partCount = 1;
        return e;
    };
    types.entries() = {entry("jpg", "JPEG image", "ffd8ff"), entry("png", "PNG image", "89504e47"),
                       entry("unk", "Unknown kind", "554e4b4e4f574e21")};
    PartitionInfo partition;
    partition.totalBytes = disk.size();
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    carver.SetSignatures(&types);
    ProgressFields progress;
    StopToken stop;
    ASSERT_EQ(carver.Scan(progress, stop), 0);
    struct Seen {
        std::uint64_t sector, length;
        RawFileEnd ended;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    for (const auto& node : carver.found()) seen.push_back({node->firstSector, node->length, node->ended});
    const std::vector<Seen> expected = {
        {1, jpeg.size(), RawFileEnd::kParsed},
        {12, 8 * kSector, RawFileEnd::kNextHeader},  // the false JPEG at 10 is passed over
        {20, Png().size(), RawFileEnd::kParsed},
        {30, 34 * kSector, RawFileEnd::kRangeEnd},
    };
    EXPECT_EQ(seen, expected);

    // A size limit of 1 KB cuts the parsed JPEG and says so.
    CRawCarver limited(std::make_unique<MemorySource>(disk), partition);
    limited.SetSignatures(&types);
    limited.SetSizeLimit(1);
    ASSERT_EQ(limited.Scan(progress, stop), 0);
    ASSERT_FALSE(limited.found().empty());
    EXPECT_EQ(limited.found()[0]->length, 1024u);
    EXPECT_EQ(limited.found()[0]->ended, RawFileEnd::kSizeLimit);
}

}  // namespace
}  // namespace lumacore
