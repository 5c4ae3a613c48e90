// The signature scan: where files start and end (headers, size limit, range ends, unreadable
// chunks), names and grouping, selection, extraction and the recovery run; and the options logic.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "engines/raw/raw_carver.h"
#include "engines/raw/raw_options.h"
#include "session/raw_carving_report.h"
#include "recovery/recovery_report.h"
#include "session/raw_recover_run.h"

namespace lumacore {
namespace {

constexpr std::size_t kSector = 512;

SignatureEntry Entry(std::string ext, std::string description,
                     std::initializer_list<std::pair<int, std::string>> parts) {
    SignatureEntry entry;
    entry.extension = std::move(ext);
    entry.description = std::move(description);
    for (const auto& [offset, pattern] : parts) {
        entry.offsets[static_cast<std::size_t>(entry.partCount)] = offset;
        entry.patterns[static_cast<std::size_t>(entry.partCount)] = pattern;
        ++entry.partCount;
    }
    return entry;
}

RawTypeSelection Types() {
    RawTypeSelection types;
    types.entries() = {Entry("jpg", "JPEG image", {{0, "ffd8ff"}}),
                       Entry("png", "PNG image", {{0, "89504e47"}}),
                       Entry("iso", "ISO 9660 disc image", {{32768, "014344303031"}})};
    return types;
}

void PutJpeg(std::vector<std::byte>& disk, std::size_t sector) {
    disk[sector * kSector] = std::byte{0xFF};
    disk[sector * kSector + 1] = std::byte{0xD8};
    disk[sector * kSector + 2] = std::byte{0xFF};
}

void PutPng(std::vector<std::byte>& disk, std::size_t sector) {
    const int png[] = {0x89, 0x50, 0x4E, 0x47};
    for (int i = 0; i < 4; ++i)
        disk[sector * kSector + static_cast<std::size_t>(i)] = static_cast<std::byte>(png[i]);
}

// A source whose reads fail inside [badFrom, badTo) bytes.
class FlakySource final : public ByteSource {
  public:
    FlakySource(std::vector<std::byte> bytes, std::uint64_t badFrom, std::uint64_t badTo)
        : inner_(std::move(bytes)), badFrom_(badFrom), badTo_(badTo) {}
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
        if (offset < badTo_ && offset + out.size() > badFrom_) return Error::Io("bad sector", EIO, offset);
        return inner_.ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return inner_.Size(); }

  private:
    MemorySource inner_;
    std::uint64_t badFrom_, badTo_;
};

struct Carved {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> files;  // (first sector, length)
    std::vector<std::string> names;
};

Carved Carve(std::unique_ptr<ByteSource> source, std::uint64_t first, std::uint64_t last,
             std::uint32_t limitKb = 0, bool readAhead = true, std::uint32_t partitionStart = 0) {
    RawTypeSelection types = Types();
    PartitionInfo partition;
    partition.startSector = partitionStart;
    partition.driveLetter = 'E';
    partition.totalBytes = source->Size() - partitionStart * kSector;
    CRawCarver carver(std::move(source), partition);
    carver.SetRange(first, last);
    carver.SetSizeLimit(limitKb);
    carver.SetSignatures(&types);
    carver.SetReadAhead(readAhead);
    // These byte-built "files" are bare headers: the rule under test is the header-to-header one.
    carver.SetFormatParsing(false);
    ProgressFields progress;
    StopToken stop;
    EXPECT_EQ(carver.Scan(progress, stop), 0);
    EXPECT_EQ(progress.Text(), "Found Raw Files : " + std::to_string(carver.found().size()));
    Carved out;
    for (const auto& node : carver.found()) {
        out.files.emplace_back(node->firstSector, node->length);
        out.names.push_back(node->name);
    }
    return out;
}

Carved Carve(const std::vector<std::byte>& disk, std::uint64_t first, std::uint64_t last,
             std::uint32_t limitKb = 0, bool readAhead = true) {
    return Carve(std::make_unique<MemorySource>(disk), first, last, limitKb, readAhead);
}

using Files = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

TEST(RawCarver, FilesRunFromHeaderToHeaderAndNumbersRunAcrossTypes) {
    std::vector<std::byte> disk(100 * kSector);
    PutJpeg(disk, 10);
    PutPng(disk, 20);
    PutJpeg(disk, 23);
    const auto carved = Carve(disk, 0, 100);
    // Two headers 10 sectors apart give 5120 bytes; the last file runs to the range's end.
    EXPECT_EQ(carved.files, (Files{{10, 5120}, {20, 1536}, {23, 77 * kSector}}));
    EXPECT_EQ(carved.names, (std::vector<std::string>{"File0.jpg", "File1.png", "File2.jpg"}));
}

TEST(RawCarver, HeaderAtByteZeroIsTrackedAndTheLastFileIsKept) {
    std::vector<std::byte> disk(16 * kSector);
    PutJpeg(disk, 0);
    PutPng(disk, 6);
    EXPECT_EQ(Carve(disk, 0, 16).files, (Files{{0, 3072}, {6, 10 * kSector}}));
    // The range's end cuts the last file, whatever lies after it.
    EXPECT_EQ(Carve(disk, 0, 8).files, (Files{{0, 3072}, {6, 1024}}));
    // A range starting inside a file sees only what lies inside it.
    EXPECT_EQ(Carve(disk, 1, 16).files, (Files{{6, 10 * kSector}}));
}

TEST(RawCarver, SizeLimitCutsAtTheFirstSectorBoundaryReachingIt) {
    std::vector<std::byte> disk(40 * kSector);
    PutJpeg(disk, 4);
    PutPng(disk, 20);
    // 1 KB: cut at 1024 bytes (two sectors); sectors after the cut belong to no file.
    EXPECT_EQ(Carve(disk, 0, 40, 1).files, (Files{{4, 1024}, {20, 1024}}));
    // 3 KB: the jpeg is cut at 3072; the png reaches the range end before its limit ...
    EXPECT_EQ(Carve(disk, 0, 24, 3).files, (Files{{4, 3072}, {20, 2048}}));
    // ... and is held to the limit when the range ends exactly there.
    EXPECT_EQ(Carve(disk, 0, 26, 3).files, (Files{{4, 3072}, {20, 3072}}));
}

TEST(RawCarver, ChunkAndTailStepsGiveTheSameCutsEverywhere) {
    // 4000-sector chunks, then 8-sector tail steps, the last one cut short: headers on every kind of
    // boundary, with and without read-ahead.
    const std::size_t sectors = 4000 * 2 + 8 * 3 + 5;
    std::vector<std::byte> disk(sectors * kSector);
    const std::size_t headers[] = {0, 3999, 4000, 7999, 8000, 8007, 8008, 8023, 8024, 8028};
    Files expected;
    for (std::size_t i = 0; i < std::size(headers); ++i) {
        PutJpeg(disk, headers[i]);
        const std::size_t next = i + 1 < std::size(headers) ? headers[i + 1] : sectors;
        expected.emplace_back(headers[i], (next - headers[i]) * kSector);
    }
    EXPECT_EQ(Carve(disk, 0, sectors, 0, true).files, expected);
    EXPECT_EQ(Carve(disk, 0, sectors, 0, false).files, expected);
}

TEST(RawCarver, LaterPartsAreFoundAcrossReadsAndTheRangeEnd) {
    // An ISO's descriptor lies 64 sectors in: found across the chunk boundary, not past the range.
    const std::size_t sectors = 4100;
    std::vector<std::byte> disk(sectors * kSector);
    auto putIso = [&](std::size_t sector) {
        const char cd001[] =
            "\x01"
            "CD001";
        for (int i = 0; i < 6; ++i)
            disk[sector * kSector + 32768 + static_cast<std::size_t>(i)] = static_cast<std::byte>(cd001[i]);
    };
    putIso(3990);  // descriptor in the second read
    putIso(4030);  // descriptor at sector 4094, inside the range
    PutJpeg(disk, 10);
    EXPECT_EQ(Carve(disk, 0, sectors, 0, true).files,
              (Files{{10, 3980 * kSector}, {3990, 40 * kSector}, {4030, 70 * kSector}}));
    EXPECT_EQ(Carve(disk, 0, sectors, 0, false).files,
              (Files{{10, 3980 * kSector}, {3990, 40 * kSector}, {4030, 70 * kSector}}));
    EXPECT_EQ(Carve(disk, 0, 4094, 0, true).files, (Files{{10, 3980 * kSector}, {3990, 104 * kSector}}));
}

TEST(RawCarver, UnreadableChunksHaveNoHeadersButCountTowardsTheLimit) {
    std::vector<std::byte> disk(9000 * kSector);
    PutJpeg(disk, 100);
    PutPng(disk, 4500);  // inside the unreadable second chunk: never seen
    PutJpeg(disk, 8100);
    auto flaky = std::make_unique<FlakySource>(disk, 4000 * kSector + 1, 4001 * kSector);
    EXPECT_EQ(Carve(std::move(flaky), 0, 9000).files, (Files{{100, 8000 * kSector}, {8100, 900 * kSector}}));
    flaky = std::make_unique<FlakySource>(disk, 4000 * kSector + 1, 4001 * kSector);
    EXPECT_EQ(Carve(std::move(flaky), 0, 9000, 2500).files,
              (Files{{100, 2500 * 1024}, {8100, 900 * kSector}}));
    // A range past the device's end stops at the device's end.
    EXPECT_EQ(Carve(disk, 8000, 20000).files, (Files{{8100, 900 * kSector}}));
}

TEST(RawCarver, PartitionOffsetAndNoSignatures) {
    std::vector<std::byte> disk(200 * kSector);
    PutJpeg(disk, 63 + 20);
    auto carved = Carve(std::make_unique<MemorySource>(disk), 0, 137, 0, true, 63);
    EXPECT_EQ(carved.files, (Files{{20, 117 * kSector}}));

    PartitionInfo partition;
    partition.totalBytes = disk.size();
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    ProgressFields progress;
    StopToken stop;
    EXPECT_EQ(carver.Scan(progress, stop), -1);  // no list
    RawTypeSelection none = Types();
    for (auto& e : none.entries()) e.enabled = false;
    carver.SetSignatures(&none);
    EXPECT_EQ(carver.Scan(progress, stop), -1);  // none enabled
}

TEST(RawCarver, TreeGroupsByDescriptionSubstringAndSelectionKeepsOrderWithoutDuplicates) {
    std::vector<std::byte> disk(40 * kSector);
    PutJpeg(disk, 1);
    PutPng(disk, 5);
    PutJpeg(disk, 9);
    RawTypeSelection types = Types();
    types.entries()[1].description = "JPEG";  // contained in "JPEG image": joins that kind
    PartitionInfo partition;
    partition.driveLetter = 'F';
    partition.totalBytes = disk.size();
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    carver.SetSignatures(&types);
    carver.SetFormatParsing(false);
    ProgressFields progress;
    StopToken stop;
    ASSERT_EQ(carver.Scan(progress, stop), 0);
    RawResultTree tree;
    const auto root = carver.BuildTree(tree);
    EXPECT_EQ(tree.item(root).text, "RAW - Logical Disk (F:)");
    ASSERT_EQ(tree.item(root).children.size(), 1u);
    const auto kind = tree.item(root).children[0];
    EXPECT_EQ(tree.item(kind).text, "JPEG image");
    EXPECT_EQ(tree.item(kind).image, 1);
    EXPECT_EQ(tree.item(kind).data, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(tree.selected(), root);

    carver.found()[2]->selected = true;
    carver.found()[0]->selected = true;
    carver.BuildSelection(tree, root);
    carver.BuildSelection(tree, root);
    carver.found()[1]->selected = true;
    carver.BuildSelection(tree, kind);
    ASSERT_EQ(carver.selection().size(), 3u);
    EXPECT_EQ(carver.selection()[0], carver.found()[0].get());
    EXPECT_EQ(carver.selection()[1], carver.found()[2].get());
    EXPECT_EQ(carver.selection()[2], carver.found()[1].get());
}

TEST(RawCarver, ExtractionReadsFromThePartitionAndEndsAtTheDevice) {
    std::vector<std::byte> disk(1070 * kSector);
    for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::byte>(i / kSector);
    PartitionInfo partition;
    partition.startSector = 63;
    partition.totalBytes = disk.size() - 63 * kSector;
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    RawFileNode node;
    node.name = "File7.jpg";
    node.firstSector = 1000;
    node.length = 4 * kSector;
    std::vector<std::byte> copied;
    auto sink = [&](std::span<const std::byte> data) -> Result<void> {
        copied.insert(copied.end(), data.begin(), data.end());
        return {};
    };
    ASSERT_EQ(carver.WriteCarvedFile(&node, sink), 0);
    ASSERT_EQ(copied.size(), 4 * kSector);
    EXPECT_EQ(copied.front(), static_cast<std::byte>(1063 % 256));  // absolute sectors 1063 .. 1066
    EXPECT_EQ(copied.back(), static_cast<std::byte>(1066 % 256));
    std::vector<std::byte> preview;
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview), 0);
    EXPECT_EQ(preview, copied);

    // The device ends two sectors into the file: the copy stops there and says so.
    node.firstSector = 1005;
    node.length = 10 * kSector;
    copied.clear();
    EXPECT_EQ(carver.WriteCarvedFile(&node, sink), EIO);
    EXPECT_EQ(copied.size(), 2 * kSector);
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview), 0);
    EXPECT_EQ(preview.size(), 2 * kSector);

    EXPECT_EQ(carver.WriteCarvedFile(nullptr, sink), -1);
    node.length = 0;
    EXPECT_EQ(carver.WriteCarvedFile(&node, sink), -1);
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview), -1);
}

TEST(RawCarver, AFileInTwoPiecesIsReadPieceByPieceAndReportedSo) {
    std::vector<std::byte> disk(2000 * kSector);
    for (std::size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<std::byte>(i / kSector % 251);
    PartitionInfo partition;
    partition.startSector = 63;
    partition.totalBytes = disk.size() - 63 * kSector;
    CRawCarver carver(std::make_unique<MemorySource>(disk), partition);
    RawFileNode node;
    node.name = "File3.jpg";
    node.firstSector = 100;
    node.length = 3 * kSector + 700;
    node.fragments = {{100, 2 * kSector}, {140, kSector + 700}};
    std::vector<std::byte> copied;
    auto sink = [&](std::span<const std::byte> data) -> Result<void> {
        copied.insert(copied.end(), data.begin(), data.end());
        return {};
    };
    ASSERT_EQ(carver.WriteCarvedFile(&node, sink), 0);
    ASSERT_EQ(copied.size(), node.length);
    // Absolute sectors 163, 164, then 203, 204 and part of 205.
    EXPECT_EQ(copied[0], static_cast<std::byte>(163 % 251));
    EXPECT_EQ(copied[2 * kSector - 1], static_cast<std::byte>(164 % 251));
    EXPECT_EQ(copied[2 * kSector], static_cast<std::byte>(203 % 251));
    EXPECT_EQ(copied.back(), static_cast<std::byte>(205 % 251));
    std::vector<std::byte> preview;
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview), 0);
    EXPECT_EQ(preview, copied);
    // A preview limit inside the second piece takes the first whole and the second's start.
    EXPECT_EQ(carver.ReadCarvedFile(&node, preview, 2 * kSector + 10), 0);
    EXPECT_EQ(preview, std::vector<std::byte>(copied.begin(), copied.begin() + 2 * kSector + 10));
    EXPECT_EQ(RawFileExtents(node), node.fragments);
    node.fragments.clear();
    EXPECT_EQ(RawFileExtents(node), (std::vector<RawExtent>{{100, 3 * kSector + 700}}));

    // The recovery report's byte runs follow the pieces, and the carving report gains a column
    // naming them (left empty for files in one piece).
    const auto root = std::filesystem::temp_directory_path() / "lumacore-raw-pieces-test";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    RawFileNode joined{"File3.jpg", "JPEG image", "jpg", 100, 1700, true, RawFileEnd::kParsed,
                       {{100, 1024}, {140, 676}}};
    RawFileNode plain{"File4.png", "PNG image", "png", 150, 512, true, RawFileEnd::kParsed, {}};
    const std::vector<RawFileNode*> selection{&joined, &plain};
    auto copy = [](const RawFileNode& file, const RawByteSink& out) -> Result<void> {
        std::vector<std::byte> bytes(file.length, std::byte{'n'});
        return out(bytes);
    };
    {
        RecoveredFileWriter writer(root, OverwritePolicy::Ask, {}, {});
        ProgressFields progress;
        StopToken stop;
        RunRawRecovery(selection, writer, progress, stop, copy, 63 * kSector);
        (void)writer.Finish("disk.img");
    }
    std::stringstream report;
    report << std::ifstream(root / kCarvingReportName).rdbuf();
    const std::string text = report.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(0, text.find('\n')), "name\ttype\tfirst sector\tlength\tended\tsha256\tfragments");
    EXPECT_NE(text.find("\tparsed\t"), std::string::npos);
    EXPECT_NE(text.find("\t100+1024 140+676\n"), std::string::npos) << text;
    EXPECT_NE(text.find("File4.png\tPNG image\t150\t512\tparsed\t"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.substr(text.rfind('\t', text.size() - 2)), "\t\n");  // the one-piece file's empty cell
    std::stringstream xml;
    xml << std::ifstream(root / kDfxmlReportName).rdbuf();
    EXPECT_NE(xml.str().find("<byte_run file_offset=\"0\" img_offset=\"83456\" len=\"1024\"/>\n"
                             "      <byte_run file_offset=\"1024\" img_offset=\"103936\" len=\"676\"/>"),
              std::string::npos)
        << xml.str();
    std::filesystem::remove_all(root);
}

TEST(RawRecoverRun, OneFolderPerExtensionReportLinesAndOverwriteAnswers) {
    const auto root = std::filesystem::temp_directory_path() / "lumacore-raw-recover-test";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "jpg");
    std::ofstream(root / "jpg" / "File7.jpg") << "old";
    RawFileNode seven{"File7.jpg", "JPEG image", "jpg", 0, 1024, true};
    RawFileNode eight{"File8.png", "PNG image", "png", 2, 512, true};
    RawFileNode quoted{"\"x.txt", "Text", "txt", 3, 512, true};
    RawFileNode broken{"File9.gz", "gzip archive", "gz", 4, 512, true};
    const std::vector<RawFileNode*> selection{&seven, &eight, &quoted, &broken};
    auto copy = [](const RawFileNode& node, const RawByteSink& out) -> Result<void> {
        if (node.extension == "gz") return Error::Io("short", EIO);
        std::vector<std::byte> bytes(node.length, std::byte{'n'});
        return out(bytes);
    };
    {
        RecoveredFileWriter writer(root, OverwritePolicy::Ask,
                                   [](const std::string&) { return OverwriteAnswer::No; }, {});
        ProgressFields progress;
        StopToken stop;
        const auto result = RunRawRecovery(selection, writer, progress, stop, copy, 0);
        EXPECT_EQ(result.keptExisting, 1u);
        EXPECT_EQ(result.filesWritten, 1u);
        EXPECT_EQ(result.failures, 1u);
        EXPECT_EQ(result.ReportText(), "Can not write file 'File9.gz'.\n");
        EXPECT_EQ(progress.Done(), 4);
    }
    std::ifstream kept(root / "jpg" / "File7.jpg");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "old");
    EXPECT_EQ(std::filesystem::file_size(root / "png" / "File8.png"), 512u);
    EXPECT_FALSE(std::filesystem::exists(root / "txt"));
    EXPECT_TRUE(std::filesystem::exists(root / "gz" / "File9.gz"));  // the part written stays
    // The report lists the one file written, with the digest of its 512 bytes of 'n'.
    std::ifstream report(root / kCarvingReportName);
    std::stringstream lines;
    lines << report.rdbuf();
    EXPECT_EQ(lines.str(),
              "name\ttype\tfirst sector\tlength\tended\tsha256\n"
              "File8.png\tPNG image\t2\t512\tnext-header\t"
              "a9064c9afb8d95369ec9e7e44b29d3b2b84a3a1857f6cbc6fe8bc9d22aeba769\n");

    RawRecoverRunResult many;
    for (int i = 0; i < 20; ++i)
        many.reportLines.push_back(RawCannotCreateLine("File" + std::to_string(i) + ".jpg"));
    EXPECT_LE(many.ReportText().size(), kRawReportLimit);
    EXPECT_EQ(many.ReportText().rfind("Can not create file 'File0.jpg'.\n", 0), 0u);
    std::filesystem::remove_all(root);
}

TEST(RawOptionsLogic, BoundsMessagesAndEnablingByDescription) {
    RawTypeSelection types;
    types.entries() = {
        Entry("tif", "TIFF image", {{0, "49492a00"}}), Entry("tif", "TIFF image", {{0, "4d4d002a"}}),
        Entry("jpg", "JPEG image", {{0, "ffd8ff"}}), Entry("tif", "TIFF image", {{0, "4d4d"}})};
    RawOptions options(63, 500, 0, 0, 512000, types);
    EXPECT_EQ(options.start(), 63u);
    EXPECT_EQ(options.end(), 500u);
    EXPECT_EQ(options.LowestText(), "> 63");
    EXPECT_EQ(options.HighestText(), "< 500");
    EXPECT_EQ(options.TotalText(), "437");
    ASSERT_EQ(options.rows().size(), 3u);  // consecutive equal descriptions share a row
    EXPECT_EQ(options.rows()[2].firstEntry, 3u);

    auto refused = options.Accept(62, 200, 100);
    EXPECT_EQ(refused.message, "Start sector is not valid. This must be bigger than 63");
    EXPECT_EQ(refused.resetStart, 63u);
    refused = options.Accept(100, 501, 100);
    EXPECT_EQ(refused.message, "End sector is not valid. This must be less than 500");
    EXPECT_EQ(refused.resetEnd, 500u);
    refused = options.Accept(200, 200, 100);
    EXPECT_EQ(refused.message, "Start sector must be less than end sector");
    EXPECT_EQ(refused.verdict, RawOptions::Verdict::StartNotBeforeEnd);

    options.DeselectAll();
    options.rows()[0].checked = true;
    EXPECT_EQ(options.Accept(63, 500, 100).verdict, RawOptions::Verdict::Accepted);
    EXPECT_TRUE(types.entries()[0].enabled);
    EXPECT_TRUE(types.entries()[1].enabled);
    EXPECT_FALSE(types.entries()[2].enabled);
    EXPECT_FALSE(types.entries()[3].enabled);  // its own row, unticked
    EXPECT_EQ(options.Accept(100, 200, 100).verdict, RawOptions::Verdict::Accepted);
    EXPECT_EQ(options.start(), 100u);
    EXPECT_EQ(options.sizeLimit(), 100);

    RawOptions reopened(63, 500, 100, 200, 100, types);  // chosen values show again
    EXPECT_EQ(reopened.start(), 100u);
    EXPECT_FALSE(reopened.rows()[1].checked);
    reopened.SelectAll();
    reopened.Accept(100, 200, 100);
    EXPECT_TRUE(types.AnyEnabled());
    EXPECT_EQ(types.EnableOnly({"JPG", "bogus"}), std::vector<std::string>{"bogus"});
    EXPECT_TRUE(types.entries()[2].enabled);
    EXPECT_FALSE(types.entries()[0].enabled);
}

}  // namespace
}  // namespace lumacore
