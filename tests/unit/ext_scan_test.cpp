// The EXT2 inode scan, the EXT3 journal walk and the recovery of what they find, on byte-built volumes.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include "engines/ext/ext_volume.h"
#include "session/ext_recover_run.h"
#include "unit/ext_test_volume.h"

namespace lumacore {
namespace {

using testing::ExtTestVolume;

constexpr std::int64_t kNow = 1700000000;
constexpr std::uint32_t kYear = 365 * 86400;

std::vector<std::byte> Expected(ExtTestVolume& v, std::initializer_list<std::uint32_t> blocks,
                                std::size_t size) {
    std::vector<std::byte> out;
    for (std::uint32_t b : blocks) {
        if (b == 0) {
            out.insert(out.end(), v.blockSize(), std::byte{0});
        } else {
            out.insert(out.end(), v.Block(b), v.Block(b) + v.blockSize());
        }
    }
    out.resize(size);
    return out;
}

std::vector<std::byte> ExtractAll(CExtVolume& engine, const ExtFileNode& node) {
    std::vector<std::byte> out;
    auto map = engine.MapFile(node);
    EXPECT_TRUE(map) << (map ? "" : map.error().message);
    if (!map) return out;
    StopToken stop;
    auto done = engine.Extract(
        *map,
        [&](std::span<const std::byte> d) -> Result<void> {
            out.insert(out.end(), d.begin(), d.end());
            return {};
        },
        stop);
    EXPECT_TRUE(done);
    return out;
}

const ExtFileNode* Find(const CExtVolume& engine, std::uint32_t inode) {
    for (const auto& node : engine.results()) {
        if (node->inodeNumber == inode) return node.get();
    }
    return nullptr;
}

// EXT2: inodes 12.. are written with the given properties; only free regular files that were deleted
// and whose fields make sense are listed.
class Ext2ScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::uint32_t n = 1; n <= 11; ++n) v.SetInodeUsed(n);
        for (std::uint32_t b = 20; b < 40; ++b) v.FillBlock(b);
        ExtTestVolume::Inode deleted;
        deleted.size = 2500;
        deleted.pointers = {20, 21, 22};
        deleted.dtime = static_cast<std::uint32_t>(kNow - 4 * kYear);
        deleted.links = 0;
        v.WriteInode(12, deleted);

        ExtTestVolume::Inode old = deleted;  // created and deleted long ago: still a genuine file
        old.ctime = old.mtime = old.atime = static_cast<std::uint32_t>(kNow - 12 * kYear);
        old.dtime = static_cast<std::uint32_t>(kNow - 6 * kYear);
        old.pointers = {23};
        old.size = 100;
        v.WriteInode(13, old);

        ExtTestVolume::Inode directory = deleted;
        directory.mode = 040755;
        v.WriteInode(14, directory);

        ExtTestVolume::Inode live = deleted;  // in the bitmap: not deleted whatever dtime says
        v.WriteInode(15, live);
        v.SetInodeUsed(15);

        ExtTestVolume::Inode future = deleted;
        future.dtime = static_cast<std::uint32_t>(kNow + 3 * 86400);
        v.WriteInode(16, future);

        ExtTestVolume::Inode socket = deleted;
        socket.mode = 0140755;
        v.WriteInode(17, socket);

        ExtTestVolume::Inode sparse = deleted;  // starts with a hole
        sparse.pointers = {0, 30};
        sparse.size = 2048;
        v.WriteInode(18, sparse);
    }
    ExtTestVolume v;
};

TEST_F(Ext2ScanTest, ListsFreeDeletedFilesWhateverTheirAge) {
    CExt2Volume engine(v.Source(), ExtTestVolume::Partition("EXT2"));
    ASSERT_TRUE(engine.IsOpen());
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    const auto root = engine.Scan(tree, progress, stop, options);
    ASSERT_NE(root, ExtResultTree::kNoItem);
    std::vector<std::uint32_t> found;
    for (const auto& node : engine.results()) found.push_back(node->inodeNumber);
    EXPECT_EQ(found, (std::vector<std::uint32_t>{12, 13, 18}));
    EXPECT_EQ(progress.Text(), "Found Deleted Files :  3");
    EXPECT_EQ(progress.Total(), 64);
    EXPECT_TRUE(engine.scanCompleted());

    EXPECT_EQ(tree.item(root).text, "EXT2( TESTVOL )");
    EXPECT_EQ(tree.item(root).data.engineKind, kExtEngineExt2);
    EXPECT_EQ(tree.item(root).image, 1);
    EXPECT_TRUE(tree.item(root).expanded);
    ASSERT_EQ(tree.item(root).children.size(), 1u);
    const auto child = tree.item(root).children[0];
    EXPECT_EQ(tree.item(child).text, "Lost files");
    EXPECT_EQ(tree.selected(), child);
    ASSERT_EQ(tree.item(child).data.files.size(), 3u);
    EXPECT_EQ(tree.item(child).data.files[0]->name, "inode_0000000C.tmp");
    EXPECT_EQ(tree.item(child).data.files[0]->typeText, "");

    EXPECT_EQ(ExtractAll(engine, *Find(engine, 12)), Expected(v, {20, 21, 22}, 2500));
    EXPECT_EQ(ExtractAll(engine, *Find(engine, 18)), Expected(v, {0, 30}, 2048));  // the hole is zeros

    std::vector<std::byte> head(4096);
    auto copied = engine.ReadInto(*Find(engine, 13), head);
    ASSERT_TRUE(copied);
    EXPECT_EQ(*copied, 100u);
    copied = engine.ReadInto(*Find(engine, 12), std::span<std::byte>(head).first(1500));
    ASSERT_TRUE(copied);
    EXPECT_EQ(*copied, 1500u);
}

TEST_F(Ext2ScanTest, RangeAndStopAreHonoured) {
    CExt2Volume engine(v.Source(), ExtTestVolume::Partition("EXT2"));
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    options.firstBlock = 6;  // inode table block 5 (inodes 1..8) and 6 (9..16) ...
    options.lastBlock = 6;   // ... only block 6 is looked at
    engine.Scan(tree, progress, stop, options);
    EXPECT_EQ(engine.results().size(), 2u);  // 12 and 13; 18 lives in block 7

    stop.RequestStop();
    ExtResultTree stopped;
    const auto root = engine.Scan(stopped, progress, stop, options);
    EXPECT_TRUE(engine.results().empty());
    EXPECT_FALSE(engine.scanCompleted());
    EXPECT_EQ(stopped.item(stopped.item(root).children[0]).text, "Lost files");  // the tree is still made
}

// EXT3: a 16-block journal at blocks 100..115 (12 direct, the rest through indirect block 116).
class Ext3ScanTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kJournal = 100;
    std::uint32_t J(std::uint32_t j) const { return kJournal + j; }

    void SetUp() override {
        v.SetJournalInode(8);
        for (std::uint32_t n = 1; n <= 11; ++n) v.SetInodeUsed(n);
        ExtTestVolume::Inode journal;
        journal.size = 16 * 1024;
        for (std::uint32_t i = 0; i < 12; ++i) journal.pointers.push_back(kJournal + i);
        journal.pointers.push_back(116);
        for (std::uint32_t i = 0; i < 4; ++i) v.PutBlock32(116, i, kJournal + 12 + i);
        v.WriteInode(8, journal);

        for (std::uint32_t b = 300; b < 320; ++b) v.FillBlock(b);
        v.FillBlock(412);

        // Live inode table block 6 (inodes 9..16): 12 cleared by deletion, 13 and 14 in use.
        ExtTestVolume::Inode cleared;
        cleared.size = 0;
        cleared.links = 0;
        cleared.dtime = static_cast<std::uint32_t>(kNow - 60);
        v.WriteInode(12, cleared);
        ExtTestVolume::Inode live13;
        live13.size = 999;
        live13.pointers = {310};
        v.WriteInode(13, live13);
        ExtTestVolume::Inode reused = live13;
        reused.generation = 99;
        v.WriteInode(14, reused);

        // Journal superblock (v2, no features), maxlen 16, first 1.
        v.PutBe32(J(0) * 1024 + 0, kJournalMagic);
        v.PutBe32(J(0) * 1024 + 4, kJournalSuperblockV2);
        v.PutBe32(J(0) * 1024 + 12, 1024);
        v.PutBe32(J(0) * 1024 + 16, 16);
        v.PutBe32(J(0) * 1024 + 20, 1);

        Descriptor(2, 5, {6, 200, 201, 9999, 400});
        // j3: the older inode table block 6.
        std::vector<std::byte> table(1024);
        ExtTestVolume::Inode before;  // inode 12 before deletion: 13 blocks, the 13th through indirect 400
        before.size = 13 * 1024;
        before.ctime = static_cast<std::uint32_t>(kNow - 20 * kYear);
        for (std::uint32_t i = 0; i < 12; ++i) before.pointers.push_back(300 + i);
        before.pointers.push_back(400);
        ExtTestVolume::WriteInodeAt(table, 3 * 128, before);
        ExtTestVolume::Inode same13 = live13;  // unchanged live file: not deleted
        same13.size = 500;                     // (even with another size: it was only written to)
        ExtTestVolume::WriteInodeAt(table, 4 * 128, same13);
        ExtTestVolume::Inode old14;  // the file inode 14 held before it was reused
        old14.size = 700;
        old14.pointers = {315};
        ExtTestVolume::WriteInodeAt(table, 5 * 128, old14);
        ExtTestVolume::Inode old16;  // a deleted file named only by the wrapped transaction
        old16.size = 300;
        old16.pointers = {318};
        ExtTestVolume::WriteInodeAt(table, 7 * 128, old16);
        std::copy(table.begin(), table.end(), v.Block(J(3)));
        // j4: first block of a directory; j5: a later block of one; j6: a block for 9999.
        v.PutDirectoryHead(J(4), 2, 2);
        v.PutDirEntry(J(4), 24, 12, 20, 1, "Lost.TXT");
        v.PutDirEntry(J(4), 44, 15, 1024 - 44, 1, "name-only.txt");
        v.PutDirEntry(J(5), 0, 14, 1024, 1, "later.txt");
        v.FillBlock(J(6));
        // j7: the indirect block 400 as it was; live it has been cleared.
        v.PutBlock32(J(7), 0, 412);
        Header(8, kJournalCommit, 5);
        // j15: a transaction that wraps: its one logged block is j1.
        Descriptor(15, 6, {202});
        v.PutDirectoryHead(J(1), 2, 2);
        v.PutDirEntry(J(1), 24, 16, 1000, 1, "wrapped.bin");
    }

    void Header(std::uint32_t j, std::uint32_t type, std::uint32_t sequence) {
        v.PutBe32(J(j) * 1024, kJournalMagic);
        v.PutBe32(J(j) * 1024 + 4, type);
        v.PutBe32(J(j) * 1024 + 8, sequence);
    }
    void Descriptor(std::uint32_t j, std::uint32_t sequence, std::initializer_list<std::uint32_t> blocks) {
        Header(j, kJournalDescriptor, sequence);
        std::size_t at = J(j) * 1024 + 12;
        std::size_t i = 0;
        for (std::uint32_t b : blocks) {
            const bool last = ++i == blocks.size();
            v.PutBe32(at, b);
            v.PutBe32(at + 4, kJournalTagSameUuid | (last ? kJournalTagLast : 0));
            at += 8;
        }
    }

    ExtTestVolume v;
};

TEST_F(Ext3ScanTest, JournalCopiesGiveInodesAndNames) {
    CExt3Volume engine(v.Source(), ExtTestVolume::Partition("EXT3"));
    ASSERT_TRUE(engine.IsOpen()) << engine.openError().message;
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    const auto root = engine.Scan(tree, progress, stop, options);
    EXPECT_TRUE(engine.scanCompleted());
    EXPECT_EQ(tree.item(root).text, "EXT3( TESTVOL )");
    EXPECT_EQ(tree.item(root).image, 0);
    EXPECT_EQ(tree.item(tree.item(root).children[0]).image, 1);
    EXPECT_EQ(progress.Total(), 16 * 1024);

    // 12: the cleared file with its old size and pointers and its name; 13 is still the same live file;
    // 14 was reused, and its name comes from a later block of a directory; 15 has a name and no inode;
    // 16 is named by the transaction that wrapped round the end of the journal.
    ASSERT_EQ(engine.results().size(), 3u);
    const ExtFileNode* lost = Find(engine, 12);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->name, "Lost.TXT");
    EXPECT_EQ(lost->typeText, "txt");
    EXPECT_EQ(lost->inode.size, 13u * 1024);
    EXPECT_EQ(lost->journalSequence, 5u);
    const ExtFileNode* reused = Find(engine, 14);
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->name, "later.txt");
    EXPECT_EQ(reused->inode.size, 700u);
    ASSERT_NE(Find(engine, 16), nullptr);
    EXPECT_EQ(Find(engine, 16)->name, "wrapped.bin");

    // The indirect block is read as the journal holds it: the live one was cleared by the deletion.
    EXPECT_EQ(ExtractAll(engine, *lost),
              Expected(v, {300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 412}, 13 * 1024));
}

TEST_F(Ext3ScanTest, EveryFileThatHeldAnInodeNumberIsListedUnderItsOwnName) {
    // A later transaction (7) logs inode 12 again, now a second file (another generation) that was
    // deleted too, and the directory block that named it.
    Descriptor(9, 7, {6, 203});
    std::vector<std::byte> table(1024);
    ExtTestVolume::Inode second;
    second.size = 2000;
    second.generation = 55;
    second.pointers = {316, 317};
    ExtTestVolume::WriteInodeAt(table, 3 * 128, second);
    std::copy(table.begin(), table.end(), v.Block(J(10)));
    v.PutDirectoryHead(J(11), 2, 2);
    v.PutDirEntry(J(11), 24, 12, 1000, 1, "second.txt");
    Header(12, kJournalCommit, 7);

    CExt3Volume engine(v.Source(), ExtTestVolume::Partition("EXT3"));
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    engine.Scan(tree, progress, stop, options);
    std::map<std::string, std::uint64_t> twelve;
    for (const auto& node : engine.results()) {
        if (node->inodeNumber == 12) twelve[node->name] = node->inode.size;
    }
    EXPECT_EQ(twelve, (std::map<std::string, std::uint64_t>{{"Lost.TXT", 13 * 1024}, {"second.txt", 2000}}));
    EXPECT_EQ(progress.Text(), "Found Deleted Files :  4");
}

TEST_F(Ext3ScanTest, UnusableJournalsEndTheCollectionCleanly) {
    ExtScanOptions options;
    options.now = kNow;
    {
        ExtTestVolume broken = v;
        broken.Put32(broken.InodeOffset(8) + 40, 0xFFFFFF00);  // journal's first block past the end
        CExt3Volume engine(broken.Source(), ExtTestVolume::Partition("EXT3"));
        ExtResultTree tree;
        ProgressFields progress;
        StopToken stop;
        const auto root = engine.Scan(tree, progress, stop, options);
        EXPECT_TRUE(engine.results().empty());
        EXPECT_FALSE(engine.scanCompleted());
        EXPECT_NE(root, ExtResultTree::kNoItem);
    }
    {
        ExtTestVolume noSuperblock = v;
        noSuperblock.PutBe32(J(0) * 1024, 0);
        CExt3Volume engine(noSuperblock.Source(), ExtTestVolume::Partition("EXT3"));
        ExtResultTree tree;
        ProgressFields progress;
        StopToken stop;
        engine.Scan(tree, progress, stop, options);
        EXPECT_TRUE(engine.results().empty());
    }
    {
        // Descriptors everywhere, each claiming tags for blocks anywhere: nothing sensible, no crash.
        ExtTestVolume& chaos = v;
        for (std::uint32_t j = 1; j < 16; ++j) {
            Header(j, kJournalDescriptor, j);
            for (std::size_t at = 12; at + 8 <= 1024; at += 8) {
                chaos.PutBe32(J(j) * 1024 + at, static_cast<std::uint32_t>(at * 2654435761u));
                chaos.PutBe32(J(j) * 1024 + at + 4, kJournalTagSameUuid);
            }
        }
        CExt3Volume engine(chaos.Source(), ExtTestVolume::Partition("EXT3"));
        ExtResultTree tree;
        ProgressFields progress;
        StopToken stop;
        engine.Scan(tree, progress, stop, options);
        EXPECT_TRUE(engine.scanCompleted());
    }
}

class ExtRecoveryRunTest : public Ext3ScanTest {
  protected:
    void SetUp() override {
        Ext3ScanTest::SetUp();
        destination =
            std::filesystem::temp_directory_path() / ("lumacore-ext-run-" + std::to_string(::getpid()));
        std::filesystem::remove_all(destination);
        std::filesystem::create_directories(destination);
    }
    void TearDown() override { std::filesystem::remove_all(destination); }
    std::filesystem::path destination;
};

TEST_F(ExtRecoveryRunTest, WritesCheckedFilesAndReportsWhatCouldNotBeWritten) {
    CExt3Volume engine(v.Source(), ExtTestVolume::Partition("EXT3"));
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    engine.Scan(tree, progress, stop, options);
    std::vector<ExtFileNode*> files = tree.item(engine.lostFilesItem()).data.files;
    ASSERT_EQ(files.size(), 3u);
    for (ExtFileNode* node : files) node->checked = true;
    // A record whose pointers were misread: nothing may be written from it.
    ExtFileNode misread = *files[1];
    misread.name = "misread.bin";
    for (std::size_t i = 0; i < 4; ++i) misread.inode.blockArea[i] = std::byte{0xFF};
    files.push_back(&misread);

    RecoveredFileWriter writer(destination, OverwritePolicy::Never, nullptr, {});
    const ExtRecoverRunResult result = RunExtRecovery(files, engine, writer, progress, stop);
    EXPECT_EQ(result.counts.filesWritten, 3u);
    EXPECT_EQ(result.counts.failures, 1u);
    ASSERT_EQ(result.unmapped.size(), 1u);
    EXPECT_EQ(result.unmapped[0].name, "misread.bin");
    EXPECT_FALSE(std::filesystem::exists(destination / "misread.bin"));
    EXPECT_EQ(std::filesystem::file_size(destination / "Lost.TXT"), 13u * 1024);
    EXPECT_EQ(progress.Total(), 4);
    EXPECT_EQ(progress.Done(), 4);
}

TEST_F(ExtRecoveryRunTest, AFailedWriteIsAFailure) {
    CExt3Volume engine(v.Source(), ExtTestVolume::Partition("EXT3"));
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = kNow;
    engine.Scan(tree, progress, stop, options);
    std::vector<ExtFileNode*> files = tree.item(engine.lostFilesItem()).data.files;
    files.resize(1);
    files[0]->checked = true;

    // A file size limit makes the write fail part-way, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    RecoveredFileWriter writer(destination, OverwritePolicy::Never, nullptr, {});
    const ExtRecoverRunResult result = RunExtRecovery(files, engine, writer, progress, stop);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(result.counts.filesWritten, 0u);
    EXPECT_EQ(result.counts.failures, 1u);
    EXPECT_EQ(writer.failures().size(), 1u);

    // And a sink that fails ends the extraction with its error.
    auto map = engine.MapFile(*files[0]);
    ASSERT_TRUE(map);
    int calls = 0;
    auto done = engine.Extract(
        *map,
        [&](std::span<const std::byte>) -> Result<void> {
            ++calls;
            return Error::Io("disk full", 28);
        },
        stop);
    EXPECT_FALSE(done);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace lumacore
