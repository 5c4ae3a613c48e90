#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "core/dos_date.h"
#include "engines/fat/fat_boot_sector.h"
#include "engines/fat/fat_directory_entry.h"
#include "engines/fat/fat_entry_reader.h"
#include "engines/fat/fat_name_seams.h"
#include "engines/fat/fat_row_text.h"

namespace lumacore {
namespace {

using Entry = std::array<std::byte, 32>;

Entry MakeEntry(const char* name11, std::uint8_t attributes, std::uint16_t cluster = 5, std::uint32_t size = 100,
                std::uint16_t date = DosDate(2020, 6, 15)) {
    Entry e{};
    std::memcpy(e.data(), name11, 11);
    e[11] = std::byte{attributes};
    auto put16 = [&e](std::size_t at, std::uint16_t v) {
        e[at] = std::byte(v & 0xFF);
        e[at + 1] = std::byte(v >> 8);
    };
    put16(16, date);
    put16(18, date);
    put16(24, date);
    put16(26, cluster);
    put16(28, static_cast<std::uint16_t>(size & 0xFFFF));
    put16(30, static_cast<std::uint16_t>(size >> 16));
    return e;
}

Entry LongNamePiece(std::uint8_t sequence, std::uint8_t checksum, std::u16string_view units) {
    Entry e{};
    e[0] = std::byte{sequence};
    e[11] = std::byte{0x0F};
    e[13] = std::byte{checksum};
    static constexpr std::size_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t i = 0; i < 13; ++i) {
        const char16_t u = i < units.size() ? units[i] : (i == units.size() ? 0 : 0xFFFF);
        e[kOffsets[i]] = std::byte(u & 0xFF);
        e[kOffsets[i] + 1] = std::byte(u >> 8);
    }
    return e;
}

FatGeometry Fat16Geometry() {
    FatGeometry g;
    g.kind = FatKind::Fat16;
    g.bytesPerSector = 512;
    g.sectorsPerCluster = 4;
    g.totalSectors = 100000;
    g.sectorsPerFat = 100;
    return g;
}

TEST(FatNames, ShortNamesFollowTheEightDotThreeRules) {
    Entry deleted = MakeEntry("\xE5ILE    TXT", 0x20);
    ShortName n = BuildShortName(FatDirEntry(deleted));
    EXPECT_EQ(n.name, "#ILE");
    EXPECT_EQ(n.extension, "txt");

    Entry junk = MakeEntry("\x01*?      \x7F  ", 0x20);
    n = BuildShortName(FatDirEntry(junk));
    EXPECT_EQ(n.name, "_");
    EXPECT_EQ(n.extension, "");

    Entry mixed = MakeEntry("Read Me DOC", 0x20);  // inner blanks stay; case of the name stays
    n = BuildShortName(FatDirEntry(mixed));
    EXPECT_EQ(n.name, "Read Me");
    EXPECT_EQ(n.extension, "doc");
}

TEST(FatNames, AttributeTexts) {
    EXPECT_EQ(AttributeText(0x20), "RW");
    EXPECT_EQ(AttributeText(0x03), "H-R");
    EXPECT_EQ(AttributeText(0x04), "RW-S");
    EXPECT_EQ(AttributeText(0x07), "H-R-S");
}

TEST(FatNames, LongNamesGatherPiecesLastFirstAndConvertToUtf8) {
    LongNameAccumulator acc;
    // "Grüße und 日本語 document.jpeg" split over three pieces, last piece first on disk.
    const std::u16string name = u"Grüße und 日本語 document.jpeg";
    acc.AddPiece(FatDirEntry(LongNamePiece(0x43, 0x77, std::u16string_view(name).substr(26))));
    acc.AddPiece(FatDirEntry(LongNamePiece(0x02, 0x77, std::u16string_view(name).substr(13, 13))));
    acc.AddPiece(FatDirEntry(LongNamePiece(0x01, 0x77, std::u16string_view(name).substr(0, 13))));
    ASSERT_TRUE(acc.HasName());
    EXPECT_EQ(acc.Text(), "Grüße und 日本語 document.jpeg");

    // A piece with another checksum starts over.
    acc.AddPiece(FatDirEntry(LongNamePiece(0x41, 0x12, u"other.txt")));
    EXPECT_EQ(acc.Text(), "other.txt");

    // A surrogate pair becomes one character; a lone surrogate an underscore.
    LongNameAccumulator emoji;
    emoji.AddPiece(FatDirEntry(LongNamePiece(0x41, 1, u"a\xD83D\xDE00" u"b\xD800")));
    EXPECT_EQ(emoji.Text(), "a\xF0\x9F\x98\x80" "b_");
}

TEST(FatNames, LongNameSplitKeepsFourCharacterExtensions) {
    ShortName s = SplitLongName("holiday.JPEG", "jpe");
    EXPECT_EQ(s.name, "holiday");
    EXPECT_EQ(s.extension, "jpeg");
    s = SplitLongName("page.shtml", "sht");
    EXPECT_EQ(s.extension, "shtm");
    s = SplitLongName(".profile", "pro");
    EXPECT_EQ(s.name, ".profile");
    EXPECT_EQ(s.extension, "pro");
    s = SplitLongName("archive.tar.gz", "gz");
    EXPECT_EQ(s.name, "archive.tar");
    EXPECT_EQ(s.extension, "gz");
    s = SplitLongName("x.ÄÖÜßé", "");
    EXPECT_EQ(s.extension, "ÄÖÜß");  // characters, not bytes
}

TEST(FatPlausibility, Fat16DatesClustersAndCharacters) {
    const FatGeometry g = Fat16Geometry();
    const int year = 2026;
    auto plausible = [&](const Entry& e, bool folder = false, bool longName = false) {
        return IsPlausibleEntry(FatDirEntry(e), g, folder, longName, year);
    };
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20)));
    // Six years old is still a file worth finding; 1980 too; next year is tolerated, later is not.
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(2020, 1, 1))));
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(1980, 1, 1))));
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(2027, 12, 31))));
    EXPECT_FALSE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(2028, 1, 1))));
    EXPECT_FALSE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(2020, 13, 1))));
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 5, 1, DosDate(2020, 0, 0))));
    // Cluster 0 (an empty file) and clusters past the volume are not plausible on FAT16.
    EXPECT_FALSE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 0)));
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 25000)));
    EXPECT_FALSE(plausible(MakeEntry("\xE5OTES   TXT", 0x20, 25001)));
    // Bad characters fail unless a long name stands for the entry; folders skip the extension test.
    EXPECT_FALSE(plausible(MakeEntry("\xE5O?ES   TXT", 0x20)));
    EXPECT_TRUE(plausible(MakeEntry("\xE5O?ES   TXT", 0x20), false, true));
    EXPECT_FALSE(plausible(MakeEntry("\xE5OTES   T*T", 0x20)));
    EXPECT_TRUE(plausible(MakeEntry("\xE5OTES   T*T", 0x10), true));
    EXPECT_FALSE(plausible(MakeEntry("\0OTES    TXT", 0x20)));
}

TEST(FatPlausibility, Fat32TestsTheHighWordNotTheDates) {
    FatGeometry g = Fat16Geometry();
    g.kind = FatKind::Fat32;
    g.sectorsPerFat = 2048;  // 1 MiB of FAT: 4 groups of 65,536 clusters
    Entry e = MakeEntry("\xE5MPTY   TXT", 0x20, 0, 0, DosDate(1990, 1, 1));
    EXPECT_TRUE(IsPlausibleEntry(FatDirEntry(e), g, false, false, 2026));  // cluster 0 passes on FAT32
    e[20] = std::byte{4};
    EXPECT_TRUE(IsPlausibleEntry(FatDirEntry(e), g, false, false, 2026));
    e[20] = std::byte{5};
    EXPECT_FALSE(IsPlausibleEntry(FatDirEntry(e), g, false, false, 2026));
}

TEST(FatDirectorySector, RecognisesDirectoriesAndRejectsOtherData) {
    const FatGeometry g = Fat16Geometry();
    std::vector<std::byte> sector(512);
    auto put = [&](std::size_t index, const Entry& e) { std::memcpy(sector.data() + index * 32, e.data(), 32); };

    put(0, MakeEntry(".          ", 0x10));
    put(1, MakeEntry("..         ", 0x10, 0));
    EXPECT_TRUE(IsDirectorySector(sector, g, 2026));

    // Two sound entries, then a free one, then garbage: still a directory.
    std::fill(sector.begin(), sector.end(), std::byte{0});
    put(0, MakeEntry("FILE1   TXT", 0x20));
    put(1, MakeEntry("FILE2   TXT", 0x20, 9));
    for (std::size_t i = 4 * 32; i < 512; ++i) sector[i] = std::byte{0xAB};
    EXPECT_TRUE(IsDirectorySector(sector, g, 2026));

    // The same name twice is not a directory (repeated records of other data are).
    put(1, MakeEntry("FILE1   TXT", 0x20, 9));
    put(2, MakeEntry("FILE3   TXT", 0x20, 9));
    std::fill(sector.begin() + 3 * 32, sector.end(), std::byte{0xAB});
    EXPECT_FALSE(IsDirectorySector(sector, g, 2026));

    // A free first entry, zeros, and text are not directories.
    std::fill(sector.begin(), sector.end(), std::byte{0});
    EXPECT_FALSE(IsDirectorySector(sector, g, 2026));
    std::fill(sector.begin(), sector.end(), std::byte{'a'});
    EXPECT_FALSE(IsDirectorySector(sector, g, 2026));

    // Long-name pieces must count down.
    std::fill(sector.begin(), sector.end(), std::byte{0});
    put(0, LongNamePiece(0x42, 1, u"name.txt"));
    put(1, LongNamePiece(0x01, 1, u"a-long-file-"));
    put(2, MakeEntry("ALONGF~1TXT", 0x20));
    EXPECT_TRUE(IsDirectorySector(sector, g, 2026));
    put(1, LongNamePiece(0x03, 1, u"a-long-file-"));
    std::fill(sector.begin() + 3 * 32, sector.end(), std::byte{0xAB});
    EXPECT_FALSE(IsDirectorySector(sector, g, 2026));
}

std::array<std::byte, 512> BootSector(bool fat32, std::uint16_t rootEntries, std::uint8_t spc,
                                       std::uint16_t total16, std::uint32_t total32, std::uint32_t perFat) {
    std::array<std::byte, 512> b{};
    b[0] = std::byte{0xEB};
    b[1] = std::byte{static_cast<std::uint8_t>(fat32 ? 0x58 : 0x3C)};
    auto put = [&b](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at + i] = std::byte((v >> (8 * i)) & 0xFF);
    };
    put(0x0B, 512, 2);
    b[0x0D] = std::byte{spc};
    put(0x0E, fat32 ? 32 : 1, 2);
    b[0x10] = std::byte{2};
    put(0x11, rootEntries, 2);
    put(0x13, total16, 2);
    put(0x20, total32, 4);
    if (fat32) {
        put(0x24, perFat, 4);
        put(0x2C, 2, 4);
    } else {
        put(0x16, perFat, 2);
    }
    return b;
}

TEST(FatBootSector, GeometryOfEachKind) {
    // mkfs.fat defaults on a 16 MiB volume: 512 root entries (16 KiB) with 2 KiB clusters. The root is
    // a region of its own length; cluster 2 follows it.
    auto g = ParseFatBootSector(BootSector(false, 512, 4, 0, 32768, 32), false);
    ASSERT_TRUE(g) << g.error().message;
    EXPECT_EQ(g->kind, FatKind::Fat16);
    EXPECT_EQ(g->totalSectors, 32768u);  // from the 32-bit field when the 16-bit one is 0
    EXPECT_EQ(g->rootDirSectors, 32u);
    EXPECT_EQ(g->RootDirSector(), 1u + 2 * 32);
    EXPECT_EQ(g->ClusterFirstSector(2), 1u + 64 + 32);
    EXPECT_EQ(g->ClusterFirstSector(3), 1u + 64 + 32 + 4);

    // A root of exactly one cluster: cluster N at data base + (N - 1) clusters, as the root counts as 1.
    g = ParseFatBootSector(BootSector(false, 512, 32, 0, 200000, 32), false);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->ClusterFirstSector(2), 1u + 64 + 1 * 32);

    // A floppy: few clusters, 12-bit entries, ends of chains from 0xFF0.
    g = ParseFatBootSector(BootSector(false, 224, 1, 2880, 0, 9), false);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->kind, FatKind::Fat12);
    EXPECT_EQ(g->EndOfChain(), 0xFF0u);

    g = ParseFatBootSector(BootSector(true, 0, 1, 0, 80000, 600), true);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->kind, FatKind::Fat32);
    EXPECT_EQ(g->EndOfChain(), 0x0FFFFFF0u);
    EXPECT_GE(0xF0000003u, g->EndOfChain());  // top bits set end a chain whatever the low bits hold
}

TEST(FatBootSector, RefusesWrongJumpAndNonsense) {
    EXPECT_FALSE(ParseFatBootSector(BootSector(true, 0, 1, 0, 80000, 600), false));
    EXPECT_FALSE(ParseFatBootSector(BootSector(false, 512, 4, 0, 32768, 32), true));
    auto b = BootSector(false, 512, 4, 0, 32768, 32);
    b[1] = std::byte{0x76};  // some formatters jump elsewhere; extraction does not care
    EXPECT_FALSE(ParseFatBootSector(b, false));
    EXPECT_TRUE(ParseFatBootSector(b, false, false));
    b = BootSector(false, 512, 3, 0, 32768, 32);  // 3 sectors per cluster
    EXPECT_FALSE(ParseFatBootSector(b, false));
    b = BootSector(false, 512, 4, 0, 60, 32);  // the FATs fill the volume
    EXPECT_FALSE(ParseFatBootSector(b, false));
    b = BootSector(false, 0, 4, 0, 32768, 32);  // no root directory
    EXPECT_FALSE(ParseFatBootSector(b, false));
    std::array<std::byte, 100> tiny{};
    EXPECT_FALSE(ParseFatBootSector(tiny, false));
}

TEST(FatRowText, SizesAndDates) {
    EXPECT_EQ(FatSizeText(1023), "1023 Byte");
    EXPECT_EQ(FatSizeText(1024), "1.00 KB");
    EXPECT_EQ(FatSizeText(1048576), "1024.00 KB");
    EXPECT_EQ(FatSizeText(1048577), "1.00 MB");
    EXPECT_EQ(FatDateTimeText(DosDate(2024, 2, 9), (13 << 11) | (5 << 5) | 29), "2024-02-09   13:05:58");
    EXPECT_EQ(FatAccessDateText(DosDate(2024, 2, 9)), "2024-02-09   12:00:00");
}

TEST(FatNameSeams, NamesCutBetweenClustersReadApartAreJoined) {
    const FatGeometry g = Fat16Geometry();
    FatEntryReader reader(g, 2026);
    auto buffer = [](std::initializer_list<Entry> entries) {
        std::vector<std::byte> b;
        for (const Entry& e : entries) b.insert(b.end(), e.begin(), e.end());
        return b;
    };
    std::vector<std::unique_ptr<FatFileNode>> files;
    auto read = [&](const std::vector<std::byte>& b) {
        files.clear();
        reader.ClearLongName();
        reader.Read(
            b, 0, [] { return true; }, [](const FatDirEntry&, const std::string&) {},
            [&](const FatDirEntry& e) { files.push_back(reader.MakeNode(e)); });
    };
    // "a-long-file-name.txt" in two pieces: the last piece ends one cluster, the first piece and the
    // short entry begin another. Read apart, the second cluster alone names the file "a-long-file-".
    const Entry last = LongNamePiece(0x42, 0x5A, u"name.txt");
    const Entry first = LongNamePiece(0x01, 0x5A, u"a-long-file-");
    const Entry shortEntry = MakeEntry("ALONGF~1TXT", 0x20);
    read(buffer({MakeEntry("OTHER   TXT", 0x20), last}));
    const FatEntryReader::NameSeam trailing = reader.trailingSeam();
    EXPECT_TRUE(trailing.present);
    read(buffer({first, shortEntry}));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]->displayName, "a-long-file-");
    const FatEntryReader::NameSeam leading = reader.leadingSeam();
    ASSERT_TRUE(leading.present);

    FatNameSeams seams;
    seams.AddTrailing(trailing, 7);
    ASSERT_EQ(seams.Match(leading, 9), 7u);
    EXPECT_EQ(seams.Match(leading, 7), FatNameSeams::kNone);  // never with itself
    FatNameSeams::Rename(*files[0], leading, seams.Trailing(7));
    EXPECT_EQ(files[0]->displayName, "a-long-file-name.txt");
    EXPECT_EQ(files[0]->extension, "txt");

    // Two clusters ending with pieces of the same checksum: no guess.
    seams.AddTrailing(trailing, 8);
    EXPECT_EQ(seams.Match(leading, 9), FatNameSeams::kNone);

    // A name whose pieces all lie before the cut, its deleted short entry first in the next cluster:
    // the lost first letter is taken from the long name and must give the pieces' checksum.
    std::array<std::uint8_t, 11> shortName{};
    std::memcpy(shortName.data(), "NOTES   TXT", 11);
    std::uint8_t sum = 0;
    for (const std::uint8_t c : shortName) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    read(buffer({MakeEntry("OTHER   TXT", 0x20), LongNamePiece(0xE5, sum, u"notes.txt")}));
    FatNameSeams deleted;
    deleted.AddTrailing(reader.trailingSeam(), 1);
    read(buffer({MakeEntry("\xE5OTES   TXT", 0x20)}));
    ASSERT_TRUE(reader.leadingSeam().bare);
    ASSERT_EQ(deleted.Match(reader.leadingSeam(), 2), 1u);
    FatNameSeams::Rename(*files[0], reader.leadingSeam(), deleted.Trailing(1));
    EXPECT_EQ(files[0]->displayName, "notes.txt");
    read(buffer({MakeEntry("\xE5ILES   TXT", 0x20)}));  // another short name: its checksum differs
    EXPECT_EQ(deleted.Match(reader.leadingSeam(), 2), FatNameSeams::kNone);
}

}  // namespace
}  // namespace lumacore
