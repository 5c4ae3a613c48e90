#include "engines/ext/ext_volume.h"

#include <algorithm>
#include <array>
#include <ctime>

#include "core/filter.h"
#include "core/size_text.h"

namespace lumacore {

namespace {

// Descriptor tables are read in pieces of this size: large reads, bounded memory per read.
constexpr std::uint64_t kDescriptorReadChunk = 1 << 20;
// Type texts keep at most this many bytes (the record's 20-byte field with its terminator).
constexpr std::size_t kMaxTypeTextBytes = 19;

bool Contains(const std::vector<std::uint64_t>& sorted, std::uint64_t value) {
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

// Length of the valid UTF-8 sequence at `at`, 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    char32_t value = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07u;
    } else {
        return 0;
    }
    if (s.size() - at < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3Fu);
    }
    // Overlong forms, surrogates and values past Unicode cannot be shown either.
    static constexpr std::array<char32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

void CExtVolume::ScanContext::CountFound() {
    ++found;
    progress.SetText(Format("%s %zu", "Found Deleted Files : ", found));
}

CExtVolume::CExtVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition, int engineKind)
    : disk_(std::move(disk)),
      volumeOffset_(std::uint64_t{partition.startSector} * 512),
      volumeLabel_(partition.VolumeLabel()),
      engineKind_(engineKind) {
    if (auto opened = Open(); !opened) {
        openError_ = opened.error();
    } else {
        open_ = true;
    }
}

Result<void> CExtVolume::Open() {
    if (!disk_) return Error::Make(ErrorKind::InvalidArgument, "no disk");
    std::array<std::byte, kExtSuperblockSize> superblock{};
    if (auto read = ReadExact(*disk_, volumeOffset_ + kExtSuperblockOffset, superblock); !read)
        return read.error();
    auto parsed = ParseExtSuperblock(superblock);
    if (!parsed) return parsed.error();
    sb_ = *parsed;
    if (auto read = ReadDescriptors(); !read) return read;
    IndexGroupStructures();
    return {};
}

Result<void> CExtVolume::AppendDescriptor(std::span<const std::byte> descriptor) {
    auto decoded = DecodeExtGroupDescriptor(
        descriptor.first(std::min<std::size_t>(descriptor.size(), sb_.descriptorSize)), sb_.is64Bit());
    if (!decoded) return decoded.error();
    groups_.push_back(*decoded);
    return {};
}

Result<void> CExtVolume::ReadDescriptors() {
    const std::uint32_t perBlock = sb_.DescriptorsPerBlock();
    // With meta_bg, groups from first_meta_bg × (descriptors per block) on keep their descriptors in the
    // first block(s) of their own meta group; the groups before that use the table after the superblock.
    std::uint64_t flatGroups = sb_.groupCount;
    if (sb_.hasMetaBg())
        flatGroups = std::min<std::uint64_t>(flatGroups, std::uint64_t{sb_.firstMetaBg} * perBlock);
    descriptorBlocksPerCopy_ = (flatGroups + perBlock - 1) / perBlock;

    const std::uint64_t tableBytes = flatGroups * sb_.descriptorSize;
    const std::uint64_t tableStart = (std::uint64_t{sb_.firstDataBlock} + 1) * sb_.blockSize;
    if (disk_->Size() != 0 && (volumeOffset_ + tableStart > disk_->Size() ||
                               tableBytes > disk_->Size() - volumeOffset_ - tableStart)) {
        return Error::Corrupt("the group descriptor table lies past the end of the disk");
    }
    groups_.clear();
    groups_.reserve(static_cast<std::size_t>(flatGroups));  // meta groups add theirs as they are read
    std::vector<std::byte> chunk;
    for (std::uint64_t at = 0; at < tableBytes; at += kDescriptorReadChunk) {
        chunk.resize(static_cast<std::size_t>(std::min(kDescriptorReadChunk, tableBytes - at)));
        if (auto read = ReadExact(*disk_, volumeOffset_ + tableStart + at, chunk); !read) return read.error();
        for (std::size_t off = 0; off + sb_.descriptorSize <= chunk.size(); off += sb_.descriptorSize) {
            if (auto read = AppendDescriptor(std::span<const std::byte>(chunk).subspan(off)); !read)
                return read;
        }
    }
    // Meta groups: one block of descriptors each, after the group's superblock copy when it has one.
    std::vector<std::byte> block(sb_.blockSize);
    while (groups_.size() < sb_.groupCount) {
        const std::uint32_t first = static_cast<std::uint32_t>(groups_.size());
        const std::uint64_t at = sb_.GroupFirstBlock(first) + (sb_.GroupHasSuperblock(first) ? 1 : 0);
        if (auto read = ReadBlocks(at, block); !read) return read.error();
        for (std::uint32_t i = 0; i < perBlock && groups_.size() < sb_.groupCount; ++i) {
            const auto descriptor =
                std::span<const std::byte>(block).subspan(std::size_t{i} * sb_.descriptorSize);
            if (auto read = AppendDescriptor(descriptor); !read) return read;
        }
    }
    return {};
}

void CExtVolume::IndexGroupStructures() {
    inodeTables_.clear();
    blockBitmaps_.clear();
    inodeBitmaps_.clear();
    const std::uint64_t tableBlocks = sb_.InodeTableBlocks();
    for (std::uint32_t g = 0; g < groups_.size(); ++g) {
        const ExtGroupDescriptor& d = groups_[g];
        if (d.inodeTable != 0 && d.inodeTable < sb_.blocksCount) {
            inodeTables_.push_back({d.inodeTable, d.inodeTable + tableBlocks, g});
        }
        blockBitmaps_.push_back(d.blockBitmap);
        inodeBitmaps_.push_back(d.inodeBitmap);
    }
    std::sort(inodeTables_.begin(), inodeTables_.end(),
              [](const TableRange& a, const TableRange& b) { return a.start < b.start; });
    std::sort(blockBitmaps_.begin(), blockBitmaps_.end());
    std::sort(inodeBitmaps_.begin(), inodeBitmaps_.end());
}

Result<void> CExtVolume::ReadBlocks(std::uint64_t first, std::span<std::byte> out) {
    if (sb_.blockSize == 0 || out.size() % sb_.blockSize != 0)
        return Error::Make(ErrorKind::InvalidArgument, "not whole blocks");
    const std::uint64_t count = out.size() / sb_.blockSize;
    if (first >= sb_.blocksCount || count > sb_.blocksCount - first) {
        return Error::Corrupt("block " + std::to_string(first) + " lies past the end of the volume");
    }
    return ReadExact(*disk_, volumeOffset_ + first * sb_.blockSize, out);
}

Result<std::vector<std::byte>> CExtVolume::ReadBlock(std::uint64_t n) {
    if (!open_ && sb_.blockSize == 0)
        return Error::Make(ErrorKind::InvalidArgument, "the volume is not open");
    std::vector<std::byte> block(sb_.blockSize);
    if (auto read = ReadBlocks(n, block); !read) return read.error();
    return block;
}

Result<std::vector<std::byte>> CExtVolume::ReadInode(std::uint32_t n) {
    if (!open_) return Error::Make(ErrorKind::InvalidArgument, "the volume is not open");
    if (n == 0 || n > sb_.inodesCount)
        return Error::Make(ErrorKind::InvalidArgument, "no inode " + std::to_string(n));
    const std::uint32_t group = (n - 1) / sb_.inodesPerGroup;
    const std::uint64_t index = (n - 1) % sb_.inodesPerGroup;
    if (group >= groups_.size()) return Error::Corrupt("inode " + std::to_string(n) + " has no group");
    const std::uint64_t byteInTable = index * sb_.inodeSize;
    const std::uint64_t block = groups_[group].inodeTable + byteInTable / sb_.blockSize;
    if (groups_[group].inodeTable == 0 || block >= sb_.blocksCount)
        return Error::Corrupt("inode table past the end of the volume");
    std::vector<std::byte> inode(sb_.inodeSize);
    const std::uint64_t at = volumeOffset_ + block * sb_.blockSize + byteInTable % sb_.blockSize;
    if (auto read = ReadExact(*disk_, at, inode); !read) return read.error();
    return inode;
}

enum BlockKind CExtVolume::BlockKind(std::uint64_t b) const {
    if (b >= sb_.blocksCount) return BlockKind::OutOfRange;
    // By the descriptors rather than by the block's own group: with flex_bg the tables and bitmaps of
    // many groups sit together in the first group of the flex group.
    if (FirstInodeOfTableBlock(b) != 0) return BlockKind::InodeTable;
    if (Contains(blockBitmaps_, b)) return BlockKind::BlockBitmap;
    if (Contains(inodeBitmaps_, b)) return BlockKind::InodeBitmap;
    if (b >= sb_.firstDataBlock) {
        const std::uint64_t group = (b - sb_.firstDataBlock) / sb_.blocksPerGroup;
        const std::uint64_t offset = (b - sb_.firstDataBlock) % sb_.blocksPerGroup;
        if (group < sb_.groupCount && sb_.GroupHasSuperblock(static_cast<std::uint32_t>(group))) {
            if (offset == 0) return BlockKind::Superblock;
            if (offset <= descriptorBlocksPerCopy_ + sb_.reservedGdtBlocks) return BlockKind::DescriptorTable;
        }
    }
    return BlockKind::Data;
}

std::uint32_t CExtVolume::FirstInodeOfTableBlock(std::uint64_t b) const {
    auto next = std::upper_bound(inodeTables_.begin(), inodeTables_.end(), b,
                                 [](std::uint64_t value, const TableRange& r) { return value < r.start; });
    if (next == inodeTables_.begin()) return 0;
    const TableRange& range = *std::prev(next);
    if (b >= range.end) return 0;
    const std::uint64_t first =
        (b - range.start) * sb_.InodesPerBlock() + std::uint64_t{range.group} * sb_.inodesPerGroup + 1;
    return first <= sb_.inodesCount ? static_cast<std::uint32_t>(first) : 0;
}

ExtResultTree::ItemId CExtVolume::Scan(ExtResultTree& tree, ProgressFields& progress, const StopToken& stop,
                                       const ExtScanOptions& options) {
    rootItem_ = lostFilesItem_ = ExtResultTree::kNoItem;
    scanCompleted_ = false;
    if (!open_) return rootItem_;
    results_.clear();
    ScanContext context{progress, stop};
    context.firstBlock = options.firstBlock < sb_.blocksCount ? options.firstBlock : 0;
    context.lastBlock = options.lastBlock < sb_.blocksCount ? options.lastBlock : sb_.blocksCount - 1;
    if (context.firstBlock > context.lastBlock) std::swap(context.firstBlock, context.lastBlock);
    context.now = options.now ? *options.now : static_cast<std::int64_t>(std::time(nullptr));
    progress.SetText("Found Deleted Files : 0");
    progress.SetDone(0);
    Collect(context);
    scanCompleted_ = context.completed && !stop.StopRequested();
    NameResults();

    const bool ext3 = engineKind_ == kExtEngineExt3;
    rootItem_ = tree.InsertLast(ExtResultTree::kNoItem,
                                Format(ext3 ? "EXT3( %s )" : "EXT2( %s )", volumeLabel_.c_str()));
    tree.item(rootItem_).data.engineKind = engineKind_;
    tree.SetImages(rootItem_, RootImage(), RootImage());
    lostFilesItem_ = tree.InsertLast(rootItem_, "Lost files");
    tree.SetImages(lostFilesItem_, ChildImage(), ChildImage());
    auto& files = tree.item(lostFilesItem_).data.files;
    files.reserve(results_.size());
    for (const auto& node : results_) files.push_back(node.get());
    tree.Expand(rootItem_);
    tree.Select(lostFilesItem_);
    return rootItem_;
}

Result<std::vector<std::byte>> CExtVolume::ReadFileMetadata(const ExtFileNode&, std::uint64_t block) {
    return ReadBlock(block);
}

bool IsExtRecordName(const std::string& fsName) {
    return fsName == "EXT2" || fsName == "EXT3" || fsName == "EXT4";
}

std::unique_ptr<CExtVolume> MakeExtVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition) {
    if (partition.FsName() == "EXT4") {
        // EXT4 is named by its extents or 64-bit numbers; only a journal makes it a case for the
        // journal engine (mke2fs -O ^has_journal makes ones without).
        std::array<std::byte, 1024> bytes{};
        const auto sb = ReadExact(*disk, std::uint64_t{partition.startSector} * 512 + 1024, bytes)
                            ? ParseExtSuperblock(bytes)
                            : Result<ExtSuperblock>(Error::Io("superblock unreadable"));
        if (sb && sb->journalInode == 0) return std::make_unique<CExt2Volume>(std::move(disk), partition);
        return std::make_unique<CExt3Volume>(std::move(disk), partition);
    }
    if (partition.FsName() == "EXT3") return std::make_unique<CExt3Volume>(std::move(disk), partition);
    return std::make_unique<CExt2Volume>(std::move(disk), partition);
}

std::string ExtDisplayableName(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t length = Utf8SequenceLength(raw, at);
        if (length == 0) {
            out.push_back('_');
            ++at;
            continue;
        }
        // "?" is what a name that cannot be shown turns into on other systems; it never reaches a path.
        if (length == 1 && raw[at] == '?') {
            out.push_back('_');
        } else {
            out.append(raw.substr(at, length));
        }
        at += length;
    }
    return out;
}

std::string ExtTypeText(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string_view extension = name.substr(dot + 1);
    if (extension.size() > kMaxTypeTextBytes) {
        std::size_t cut = kMaxTypeTextBytes;
        // Never cut a character in two.
        while (cut > 0 && (static_cast<unsigned char>(extension[cut]) & 0xC0) == 0x80) --cut;
        extension = extension.substr(0, cut);
    }
    return LowerCaseUtf8(extension);
}

}  // namespace lumacore
