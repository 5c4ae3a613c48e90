#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/byte_source.h"
#include "core/data_sink.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/ext/ext_block_map.h"
#include "engines/ext/ext_file_node.h"
#include "engines/ext/ext_structures.h"

namespace lumacore {

// What a block of the volume is, for the journal walk: which logged copies can hold inodes or names.
enum class BlockKind : int {
    OutOfRange = -1,
    Superblock = 0,       // a superblock copy at the start of a group
    DescriptorTable = 1,  // group descriptors (and the blocks reserved for their growth) after it
    BlockBitmap = 2,
    InodeBitmap = 3,
    InodeTable = 4,
    Data = 5,  // file data, directories, indirect and extent blocks
};

// Which part of the volume a scan looks at, in blocks; clamped to the volume and put in order.
struct ExtScanOptions {
    std::uint64_t firstBlock = 0;
    std::uint64_t lastBlock = UINT64_MAX;
    // Seconds since 1970 to judge times against; the system clock when empty.
    std::optional<std::int64_t> now;
};

// Hands a file's data on in order, in pieces of at most a megabyte.
using ExtDataSink = std::function<Result<void>(std::span<const std::byte>)>;

// An EXT volume on a disk: its superblock and group descriptors, block and inode reads, the deleted-file
// scan (the collection differs between the EXT2 and EXT3 engines) and the reading of found files.
class CExtVolume {
  public:
    virtual ~CExtVolume() = default;
    CExtVolume(const CExtVolume&) = delete;
    CExtVolume& operator=(const CExtVolume&) = delete;

    bool IsOpen() const { return open_; }
    const Error& openError() const { return openError_; }
    int engineKind() const { return engineKind_; }
    const ExtSuperblock& superblock() const { return sb_; }
    // Where the volume starts on its disk, in bytes.
    std::uint64_t volumeOffset() const { return volumeOffset_; }
    const std::vector<ExtGroupDescriptor>& groups() const { return groups_; }

    // One block, or an error when it lies past the volume's end or cannot be read.
    Result<std::vector<std::byte>> ReadBlock(std::uint64_t n);
    // Consecutive blocks from `first` into `out` (a whole number of blocks), in one read.
    Result<void> ReadBlocks(std::uint64_t first, std::span<std::byte> out);
    // The inode's bytes (the superblock's inode size), for inode numbers 1 .. s_inodes_count.
    Result<std::vector<std::byte>> ReadInode(std::uint32_t n);

    enum BlockKind BlockKind(std::uint64_t b) const;
    // The inode number of the first slot of an inode-table block; 0 when b is no inode-table block.
    std::uint32_t FirstInodeOfTableBlock(std::uint64_t b) const;

    // Collects the deleted files, names them and puts them under a root item "EXT2( label )" or
    // "EXT3( label )" with one child "Lost files" that holds them all. Returns the root item. A stop
    // ends the collection; what was found until then is named and listed.
    ExtResultTree::ItemId Scan(ExtResultTree& tree, ProgressFields& progress, const StopToken& stop,
                               const ExtScanOptions& options = {});
    const std::vector<std::unique_ptr<ExtFileNode>>& results() const { return results_; }
    ExtResultTree::ItemId rootItem() const { return rootItem_; }
    ExtResultTree::ItemId lostFilesItem() const { return lostFilesItem_; }
    // False when the last scan's collection ended early: stopped, or a structure it needed (the journal,
    // for EXT3) could not be read. The tree then holds what was found until then.
    bool scanCompleted() const { return scanCompleted_; }

    // Where the file's blocks are, or why its inode cannot be trusted (then nothing should be written).
    Result<ExtFileMap> MapFile(const ExtFileNode& node, const StopToken* stop = nullptr);
    // Hands the whole file to `sink`: holes as zeros, the last block cut at the size. A block that cannot
    // be read, a sink that fails or a stop ends it with an error; the sink keeps what it already had.
    // With `holes`, holes are handed there instead of as zeros.
    Result<void> Extract(const ExtFileMap& map, const ExtDataSink& sink, const StopToken& stop,
                         const HoleSink& holes = {});
    // Copies the file's first bytes (at most out.size(), never past its size) and returns the count.
    Result<std::size_t> ReadInto(const ExtFileNode& node, std::span<std::byte> out);

  protected:
    CExtVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition, int engineKind);

    struct ScanContext {
        ProgressFields& progress;
        const StopToken& stop;
        std::uint64_t firstBlock = 0;
        std::uint64_t lastBlock = 0;
        std::int64_t now = 0;
        std::size_t found = 0;
        bool completed = true;
        void CountFound();
        bool InRange(std::uint64_t b) const { return b >= firstBlock && b <= lastBlock; }
    };

    // Fills results_ (EXT2) or the engine's own tables (EXT3).
    virtual void Collect(ScanContext& context) = 0;
    // Gives every record its final name and type text, in result order.
    virtual void NameResults() = 0;
    virtual int RootImage() const = 0;
    virtual int ChildImage() const = 0;
    // The indirect or extent block `block` of the file, as the file's inode copy knew it.
    virtual Result<std::vector<std::byte>> ReadFileMetadata(const ExtFileNode& node, std::uint64_t block);

    void Fail(Error error) {
        open_ = false;
        openError_ = std::move(error);
    }

    std::vector<std::unique_ptr<ExtFileNode>> results_;

  private:
    Result<void> Open();
    Result<void> ReadDescriptors();
    // Decodes one descriptor of the table and adds it to groups_.
    Result<void> AppendDescriptor(std::span<const std::byte> descriptor);
    void IndexGroupStructures();

    std::unique_ptr<ByteSource> disk_;
    std::uint64_t volumeOffset_ = 0;
    std::string volumeLabel_;
    int engineKind_ = 0;
    bool open_ = false;
    Error openError_;
    ExtSuperblock sb_;
    std::vector<ExtGroupDescriptor> groups_;
    struct TableRange {
        std::uint64_t start = 0;
        std::uint64_t end = 0;  // one past the last block
        std::uint32_t group = 0;
    };
    std::vector<TableRange> inodeTables_;      // sorted by start
    std::vector<std::uint64_t> blockBitmaps_;  // sorted
    std::vector<std::uint64_t> inodeBitmaps_;  // sorted
    std::uint64_t descriptorBlocksPerCopy_ = 0;
    ExtResultTree::ItemId rootItem_ = ExtResultTree::kNoItem;
    ExtResultTree::ItemId lostFilesItem_ = ExtResultTree::kNoItem;
    bool scanCompleted_ = false;
};

// EXT2: free inodes that still hold their size and block pointers.
class CExt2Volume final : public CExtVolume {
  public:
    CExt2Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

  protected:
    void Collect(ScanContext& context) override;
    void NameResults() override;
    int RootImage() const override { return 1; }
    int ChildImage() const override { return 0; }
};

// First-in first-out queue of the tags of the last descriptor block, with that block's transaction.
class JournalTagQueue {
  public:
    void Reset(std::vector<JournalTag> tags, std::uint32_t sequence);
    void Clear() { tags_.clear(); }
    bool Empty() const { return tags_.empty(); }
    JournalTag Pop();
    std::uint32_t sequence() const { return sequence_; }

  private:
    std::deque<JournalTag> tags_;
    std::uint32_t sequence_ = 0;
};

// What the journal says about each inode number: the files that held it (one version per inode
// generation, each with its latest copy before the deletion) and the names older directory blocks gave
// it. Only numbers the journal mentions take room.
class InodeSlotTable {
  public:
    struct Version {
        std::unique_ptr<ExtFileNode> node;
        std::uint32_t generation = 0;
        std::uint32_t firstSequence = 0;  // transactions that logged this file's inode
        std::uint32_t lastSequence = 0;
    };
    struct NameSighting {
        std::string name;
        std::vector<std::uint32_t> sequences;  // transactions whose directory blocks held it
    };
    struct Slot {
        std::vector<Version> versions;
        std::vector<NameSighting> names;
    };
    Slot& At(std::uint32_t inodeNumber) { return slots_[inodeNumber]; }
    void Clear() { slots_.clear(); }
    std::size_t size() const { return slots_.size(); }
    // In inode-number order.
    std::map<std::uint32_t, Slot>& slots() { return slots_; }

  private:
    std::map<std::uint32_t, Slot> slots_;
};

// True when transaction sequence a is later than b (sequences wrap around).
inline bool IsLaterSequence(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a - b) > 0;
}

// EXT3 (and EXT4 with a journal): inodes and names of deleted files from the
// older copies of inode-table and directory blocks in the journal.
class CExt3Volume final : public CExtVolume {
  public:
    CExt3Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    const std::vector<std::byte>& journalSuperblock() const { return journalSuperblockBytes_; }

  protected:
    void Collect(ScanContext& context) override;
    void NameResults() override;
    int RootImage() const override { return 0; }
    int ChildImage() const override { return 1; }
    Result<std::vector<std::byte>> ReadFileMetadata(const ExtFileNode& node, std::uint64_t block) override;

  private:
    struct JournalCopy {
        std::uint32_t sequence = 0;
        std::uint64_t journalBlock = 0;
        bool escaped = false;
    };
    void TakeLoggedBlock(ScanContext& context, std::uint64_t block, std::span<const std::byte> copy,
                         std::uint32_t sequence, std::uint64_t journalBlock, bool escaped);
    void TakeInodes(ScanContext& context, std::uint64_t block, std::span<const std::byte> copy,
                    std::uint32_t sequence);
    void TakeNames(std::span<const std::byte> copy, std::uint32_t sequence);
    Result<std::vector<std::byte>> ReadJournalBlock(std::uint64_t journalBlock);

    std::vector<std::byte> journalSuperblockBytes_;
    ExtFileMap journalMap_;
    InodeSlotTable slots_;
    // Older copies of data-kind blocks (indirect and extent blocks among them), by volume block.
    std::unordered_map<std::uint64_t, std::vector<JournalCopy>> journalCopies_;
    // Live inode-table blocks already read: a journal logs the same few table blocks over and over.
    std::unordered_map<std::uint64_t, std::vector<std::byte>> liveTables_;
};

bool IsExtRecordName(const std::string& fsName);
// The engine for a volume record: EXT3 for "EXT3" and for an "EXT4" with a journal, EXT2 otherwise.
std::unique_ptr<CExtVolume> MakeExtVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

// The name a record shows in lists and paths: UTF-8 with every byte sequence that is not valid UTF-8
// and every "?" turned into "_".
std::string ExtDisplayableName(std::string_view raw);
// The lower-case text after the last "." (at most 19 characters), empty when the name has none or
// starts with its only dot.
std::string ExtTypeText(std::string_view name);

}  // namespace lumacore
