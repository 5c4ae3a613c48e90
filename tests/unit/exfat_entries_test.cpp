// exFAT directory entry sets, timestamps, the up-case table and the boot sector fields, on bytes taken
// from a volume written by exfat-fuse and on byte-built damage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/exfat/exfat_boot_region.h"
#include "engines/exfat/exfat_directory_tail.h"
#include "engines/exfat/exfat_entry_set.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/exfat/exfat_row_text.h"
#include "engines/exfat/exfat_upcase.h"

namespace lumacore {
namespace {

std::vector<std::byte> Hex(const std::string& text) {
    std::vector<std::byte> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::byte>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

// The set of "a.bin" (100,000 bytes, contiguous) after exfat-fuse deleted it: every type byte has lost
// its in-use bit, the checksum is the one written while it was in use.
const std::string kDeletedSet =
    "05021417200000008c66885d8c66885d8c66885d000080808000000000000000"
    "40030005b2ac0000a0860100000000000000000006000000a086010000000000"
    "410061002e00620069006e000000000000000000000000000000000000000000";

TEST(ExfatEntrySet, DecodesADeletedSetWrittenByExfatFuse) {
    const auto bytes = Hex(kDeletedSet);
    EntrySetFault fault = EntrySetFault::None;
    const auto set = DecodeEntrySet(bytes, 0, &fault);
    ASSERT_TRUE(set) << static_cast<int>(fault);
    EXPECT_FALSE(set->inUse);
    EXPECT_FALSE(set->isDirectory());
    EXPECT_EQ(set->name, u"a.bin");
    EXPECT_EQ(set->dataLength, 100000u);
    EXPECT_EQ(set->validDataLength, 100000u);
    EXPECT_EQ(set->firstCluster, 6u);
    EXPECT_TRUE(set->noFatChain);
    EXPECT_EQ(set->entryCount, 3u);
    // The stored hash is over the up-cased name; without a table ASCII letters are mapped.
    EXPECT_EQ(ExfatUpcaseTable().NameHash(set->name), set->nameHash);

    const auto node = MakeExfatFileNode(*set);
    EXPECT_EQ(node->displayName, "a.bin");
    EXPECT_EQ(node->extension, "bin");
    EXPECT_EQ(node->attributeText, "RW");  // archive (0x20) alone
    EXPECT_EQ(ExfatTimeText(node->modified), "2026-12-08   12:52:24");
    EXPECT_EQ(ExfatUtcOffsetText(node->modified), "+00:00");
    EXPECT_EQ(ExfatSizeText(node->size), "97.66 KB");
}

TEST(ExfatEntrySet, RefusesDamagedSets) {
    const auto good = Hex(kDeletedSet);
    const auto faultOf = [](std::vector<std::byte> bytes) {
        EntrySetFault fault = EntrySetFault::None;
        EXPECT_FALSE(DecodeEntrySet(bytes, 0, &fault));
        return fault;
    };
    auto renamed = good;
    renamed[64 + 2] = std::byte{'b'};  // a name changed after the checksum was written
    EXPECT_EQ(faultOf(renamed), EntrySetFault::BadChecksum);
    auto mixed = good;
    mixed[32] = std::byte{0xC0};  // an in-use stream under a deleted file entry: not one set
    EXPECT_EQ(faultOf(mixed), EntrySetFault::Malformed);
    auto oneSecondary = good;
    oneSecondary[1] = std::byte{1};
    EXPECT_EQ(faultOf(oneSecondary), EntrySetFault::Malformed);
    auto noName = good;
    noName[32 + 3] = std::byte{0};
    EXPECT_EQ(faultOf(noName), EntrySetFault::Malformed);
    auto longName = good;
    longName[32 + 3] = std::byte{16};  // 16 characters need a second name entry the set does not have
    EXPECT_EQ(faultOf(longName), EntrySetFault::Malformed);
    EXPECT_EQ(faultOf(std::vector<std::byte>(good.begin(), good.begin() + 64)), EntrySetFault::Truncated);
    auto label = good;
    label[0] = std::byte{0x83};
    EXPECT_EQ(faultOf(label), EntrySetFault::NotAFileEntry);
}

TEST(ExfatEntrySet, TimestampsCarryTheOddSecondAndTheUtcOffset) {
    ExfatTimestamp stamp;
    stamp.raw = (std::uint32_t{0x5D88} << 16) | 0x668C;  // 2026-12-08 12:52:24
    stamp.tenMs = 150;                                   // 1.5 s more
    stamp.utcOffset = 0x80 | 0x7C;                       // -4 steps of 15 minutes
    EXPECT_EQ(ExfatTimeText(stamp), "2026-12-08   12:52:25");
    EXPECT_EQ(stamp.utcOffsetMinutes(), -60);
    EXPECT_EQ(ExfatUtcOffsetText(stamp), "-01:00");
    stamp.utcOffset = 0x80 | 0x16;  // +5:30
    EXPECT_EQ(ExfatUtcOffsetText(stamp), "+05:30");
    stamp.utcOffset = 0x16;  // not marked valid: no offset recorded
    EXPECT_EQ(ExfatUtcOffsetText(stamp), "");
    EXPECT_EQ(ExfatSizeText(std::uint64_t{5} << 30), "5120.00 MB");
}

TEST(ExfatUpcase, CompressedTableMapsAndHashesNamesWithoutCase) {
    // 0xFFFF, 0x61: the first 97 units map to themselves; then a..z map to A..Z, 0xE9 to 0xC9 after a
    // run of identity up to it.
    std::vector<std::uint16_t> values{0xFFFF, 0x61};
    for (char16_t c = u'A'; c <= u'Z'; ++c) values.push_back(c);
    values.push_back(0xFFFF);
    values.push_back(0xE9 - 0x7B);
    values.push_back(0xC9);
    std::vector<std::byte> stored;
    for (std::uint16_t v : values) {
        stored.push_back(static_cast<std::byte>(v & 0xFF));
        stored.push_back(static_cast<std::byte>(v >> 8));
    }
    const ExfatUpcaseTable table = ExfatUpcaseTable::Decode(stored);
    ASSERT_TRUE(table.loaded());
    EXPECT_EQ(table.Upper(u'q'), u'Q');
    EXPECT_EQ(table.Upper(u'\u00E9'), u'\u00C9');
    EXPECT_EQ(table.Upper(u'\u4E00'), u'\u4E00');  // past the table's end
    EXPECT_TRUE(table.Equal(u"R\u00E9sum\u00E9.TXT", u"r\u00C9SUM\u00C9.txt"));
    EXPECT_FALSE(table.Equal(u"a", u"ab"));
    EXPECT_EQ(table.NameHash(u"r\u00E9sum\u00E9"), table.NameHash(u"R\u00C9SUM\u00C9"));
    // A table claiming endless identity runs is cut at 65,536 units.
    const std::vector<std::byte> runaway(1 << 16, std::byte{0xFF});
    EXPECT_EQ(ExfatUpcaseTable::Decode(runaway).Upper(u'x'), u'x');
}

std::vector<std::byte> BootSector() {
    std::vector<std::byte> s(512);
    const auto put = [&](std::size_t at, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) s[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
    };
    const std::string name = "EXFAT   ";
    for (std::size_t i = 0; i < name.size(); ++i) s[3 + i] = static_cast<std::byte>(name[i]);
    put(72, 2048, 8);  // volume length
    put(80, 24, 4);    // FAT offset
    put(84, 16, 4);    // FAT length
    put(88, 64, 4);    // cluster heap offset
    put(92, 2000, 4);  // cluster count
    put(96, 4, 4);     // root cluster
    put(106, 1, 2);    // volume flags: second FAT active
    s[108] = std::byte{9};
    s[109] = std::byte{0};
    s[110] = std::byte{2};
    put(510, 0xAA55, 2);
    return s;
}

TEST(ExfatBootSector, TakesSoundFieldsAndRefusesMeaninglessOnes) {
    const auto g = ParseExfatBootSector(BootSector());
    ASSERT_TRUE(g) << g.error().message;
    EXPECT_EQ(g->ClusterBytes(), 512u);
    EXPECT_EQ(g->activeFat, 1u);
    EXPECT_EQ(g->ActiveFatOffset(), (24u + 16u) * 512u);
    EXPECT_EQ(g->ClusterOffset(4), (64u + 2u) * 512u);

    const auto refused = [](std::size_t at, std::uint8_t value) {
        auto s = BootSector();
        s[at] = std::byte{value};
        return !ParseExfatBootSector(s);
    };
    EXPECT_TRUE(refused(3, 'N'));    // not "EXFAT   "
    EXPECT_TRUE(refused(511, 0));    // no 0xAA55
    EXPECT_TRUE(refused(108, 8));    // 256-byte sectors
    EXPECT_TRUE(refused(109, 17));   // 64 MiB clusters
    EXPECT_TRUE(refused(110, 3));    // three FATs
    EXPECT_TRUE(refused(84, 1));     // a FAT of one sector cannot hold 2,000 clusters
    EXPECT_TRUE(refused(96, 1));     // root below the heap
    EXPECT_TRUE(refused(95, 0xFF));  // a cluster count past the last valid number
    EXPECT_TRUE(refused(88, 30));    // the heap begins inside the FATs
}

TEST(ExfatDirectoryTail, ACutSetJoinsOnlyTheClusterThatHoldsItsRest) {
    // A 64-byte "cluster" holds the file and stream entries of a.bin; the name entry opens the next one.
    const auto set = Hex(kDeletedSet);
    const std::vector<std::byte> first(set.begin(), set.begin() + 64);
    std::vector<std::byte> next(set.begin() + 64, set.end());
    next.resize(64, std::byte{0});
    const DirectoryTail tail = TailOf(first);
    EXPECT_FALSE(tail.ended);
    EXPECT_EQ(tail.cutSet.size(), 64u);
    std::optional<ExfatEntrySet> joined;
    ASSERT_TRUE(ContinuesDirectory(tail, next, joined));
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->name, u"a.bin");

    auto other = next;
    other[2] = std::byte{'z'};  // someone else's name entry: the checksum fails
    EXPECT_FALSE(ContinuesDirectory(tail, other, joined));
    // A cluster with the end-of-directory mark is a folder's last.
    std::vector<std::byte> ended(set);
    ended.resize(128, std::byte{0});
    EXPECT_TRUE(TailOf(ended).ended);
    EXPECT_FALSE(ContinuesDirectory(TailOf(ended), next, joined));
    EXPECT_TRUE(LooksLikeExfatDirectory(ended));
    std::vector<std::byte> noise(128, std::byte{0x5A});
    EXPECT_FALSE(LooksLikeExfatDirectory(noise));
}

}  // namespace
}  // namespace lumacore
