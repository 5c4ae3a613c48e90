#include "engines/ext/ext_block_map.h"

#include <unordered_set>

namespace lumacore {

namespace {

// Times are accepted up to a day ahead of the clock: the volume's machine may have run on another
// time zone or a slightly fast clock, but a time years ahead is garbage.
constexpr std::int64_t kFutureSlackSeconds = 24 * 60 * 60;
// An initialised extent covers at most 32768 blocks; longer lengths mark uninitialised extents.
constexpr std::uint32_t kMaxInitialisedExtent = 32768;
// Extent logical block numbers are 32 bits wide.
constexpr std::uint64_t kExtentLogicalLimit = std::uint64_t{1} << 32;

class MapBuilder {
  public:
    MapBuilder(const ExtSuperblock& sb, const ExtMetadataReader& read, const StopToken* stop,
               std::uint64_t blocks)
        : sb_(sb), read_(read), stop_(stop), blocks_(blocks) {
        map_.blockCount = blocks;
    }

    Result<void> Add(std::uint64_t logical, std::uint64_t physical, std::uint64_t count) {
        if (logical >= blocks_ || count == 0) return {};
        if (count > blocks_ - logical) count = blocks_ - logical;
        if (physical >= sb_.blocksCount || count > sb_.blocksCount - physical) {
            return Error::Corrupt("block " + std::to_string(physical) + " lies past the end of the volume");
        }
        if (!map_.runs.empty()) {
            ExtRun& last = map_.runs.back();
            if (logical < last.logical + last.count) return Error::Corrupt("file blocks overlap");
            if (last.logical + last.count == logical && last.physical + last.count == physical) {
                last.count += count;
                return {};
            }
        }
        if (map_.runs.size() >= kExtMaxFileRuns) return Error::Corrupt("file is split into too many pieces");
        map_.runs.push_back({logical, physical, count});
        return {};
    }

    Result<std::vector<std::byte>> ReadNode(std::uint64_t block) {
        if (stop_ && stop_->StopRequested()) return Error::Make(ErrorKind::Cancelled, "stopped");
        if (block >= sb_.blocksCount)
            return Error::Corrupt("metadata block " + std::to_string(block) +
                                  " lies past the end of the volume");
        auto bytes = read_(block);
        if (bytes && bytes->size() != sb_.blockSize) return Error::Io("short metadata block", 0, block);
        return bytes;
    }

    // One indirect block at `level` (1 single, 2 double, 3 triple) covering logical blocks from `first`.
    Result<void> Indirect(std::uint32_t pointer, int level, std::uint64_t first) {
        if (pointer == 0 || first >= blocks_) return {};  // a hole for the whole span
        auto node = ReadNode(pointer);
        if (!node) return node.error();
        const ByteReader r(*node);
        const std::uint64_t perBlock = sb_.blockSize / 4;
        std::uint64_t span = 1;
        for (int i = 1; i < level; ++i) span *= perBlock;
        for (std::uint64_t j = 0; j < perBlock; ++j) {
            const std::uint64_t at = first + j * span;
            if (at >= blocks_) break;
            const std::uint32_t entry = r.u32le(static_cast<std::size_t>(j * 4));
            Result<void> added =
                level == 1 ? Add(at, entry, entry == 0 ? 0 : 1) : Indirect(entry, level - 1, at);
            if (!added) return added;
        }
        return {};
    }

    Result<void> BlockPointers(const ExtInode& inode) {
        const std::uint64_t perBlock = sb_.blockSize / 4;
        for (int i = 0; i < kExtDirectPointers; ++i) {
            const std::uint32_t p = inode.BlockPointer(i);
            if (p == 0) continue;
            if (auto added = Add(static_cast<std::uint64_t>(i), p, 1); !added) return added;
        }
        std::uint64_t first = kExtDirectPointers;
        std::uint64_t span = perBlock;
        for (int level = 1; level <= 3; ++level) {
            if (auto walked = Indirect(inode.BlockPointer(kExtDirectPointers - 1 + level), level, first);
                !walked) {
                return walked;
            }
            first += span;
            span *= perBlock;
        }
        return {};
    }

    Result<void> ExtentNode(const ByteReader& node, int expectedDepth, std::uint64_t& nextLogical) {
        const ExtentHeader h = ParseExtentHeader(node);
        if (!IsValidExtentHeader(h, node.size())) return Error::Corrupt("bad extent header");
        if (expectedDepth >= 0 && h.depth != expectedDepth)
            return Error::Corrupt("extent tree depth does not match");
        for (std::size_t i = 0; i < h.entries; ++i) {
            const std::size_t at = kExtentEntrySize * (i + 1);
            const std::uint64_t logical = node.u32le(at);
            if (logical >= blocks_) break;  // entries are in logical order: the rest lies past the size
            if (h.depth == 0) {
                std::uint32_t length = node.u16le(at + 4);
                const bool initialised = length <= kMaxInitialisedExtent;
                if (!initialised) length -= kMaxInitialisedExtent;
                const std::uint64_t physical = (std::uint64_t{node.u16le(at + 6)} << 32) | node.u32le(at + 8);
                if (logical < nextLogical) return Error::Corrupt("extents overlap or are out of order");
                nextLogical = logical + length;
                if (length == 0 || !initialised) continue;
                // Checked against the volume even where the size cuts the extent short.
                if (physical >= sb_.blocksCount || length > sb_.blocksCount - physical) {
                    return Error::Corrupt("extent past the end of the volume");
                }
                if (auto added = Add(logical, physical, length); !added) return added;
            } else {
                const std::uint64_t child = (std::uint64_t{node.u16le(at + 8)} << 32) | node.u32le(at + 4);
                if (logical < nextLogical) return Error::Corrupt("extent index out of order");
                if (!visited_.insert(child).second)
                    return Error::Corrupt("extent tree node is reached twice");
                if (visited_.size() > kExtMaxExtentNodes) return Error::Corrupt("extent tree too large");
                auto block = ReadNode(child);
                if (!block) return block.error();
                if (auto walked = ExtentNode(ByteReader(*block), h.depth - 1, nextLogical); !walked)
                    return walked;
            }
        }
        return {};
    }

    ExtFileMap Take() { return std::move(map_); }

  private:
    const ExtSuperblock& sb_;
    const ExtMetadataReader& read_;
    const StopToken* stop_;
    std::uint64_t blocks_;
    ExtFileMap map_;
    std::unordered_set<std::uint64_t> visited_;
};

bool HasSoundDataArea(const ExtInode& inode, const ExtSuperblock& sb) {
    if (inode.UsesExtents()) {
        const ExtentHeader h = ParseExtentHeader(ByteReader(inode.blockArea));
        return IsValidExtentHeader(h, kExtBlockAreaSize) && h.entries != 0;
    }
    bool any = false;
    for (int i = 0; i < kExtDirectPointers + 3; ++i) {
        const std::uint32_t p = inode.BlockPointer(i);
        if (p >= sb.blocksCount) return false;
        any = any || p != 0;
    }
    return any;
}

}  // namespace

std::uint64_t ExtMaxMappableBlocks(const ExtInode& inode, std::uint32_t blockSize) {
    if (inode.UsesExtents()) return kExtentLogicalLimit;
    const std::uint64_t perBlock = blockSize / 4;
    return kExtDirectPointers + perBlock + perBlock * perBlock + perBlock * perBlock * perBlock;
}

Result<ExtFileMap> MapExtFile(const ExtInode& inode, const ExtSuperblock& sb,
                              const ExtMetadataReader& readBlock, const StopToken* stop) {
    if (inode.HasInlineData())
        return Error::Make(ErrorKind::Unsupported, "the file's data is kept inside its inode");
    const std::uint64_t blocks = inode.size / sb.blockSize + (inode.size % sb.blockSize != 0 ? 1 : 0);
    if (blocks > ExtMaxMappableBlocks(inode, sb.blockSize))
        return Error::Corrupt("file size beyond what its map can address");
    MapBuilder builder(sb, readBlock, stop, blocks);
    if (inode.UsesExtents()) {
        std::uint64_t nextLogical = 0;
        if (auto walked = builder.ExtentNode(ByteReader(inode.blockArea), -1, nextLogical); !walked)
            return walked.error();
    } else {
        if (auto walked = builder.BlockPointers(inode); !walked) return walked.error();
    }
    ExtFileMap map = builder.Take();
    map.size = inode.size;
    return map;
}

bool IsPlausibleFileInode(const ExtInode& inode, const ExtSuperblock& sb, std::int64_t now) {
    if (!inode.IsRegularFile() || inode.size == 0 || inode.HasInlineData()) return false;
    const std::uint64_t blocks = inode.size / sb.blockSize + 1;
    if (blocks > ExtMaxMappableBlocks(inode, sb.blockSize)) return false;
    if (inode.AllocatedBlocks(sb) > sb.blocksCount) return false;
    if (inode.ctime == 0 || inode.mtime == 0) return false;
    const std::int64_t latest = now + kFutureSlackSeconds;
    for (std::uint32_t t : {inode.atime, inode.ctime, inode.mtime, inode.dtime}) {
        if (t != 0 && static_cast<std::int64_t>(t) > latest) return false;
    }
    return HasSoundDataArea(inode, sb);
}

}  // namespace lumacore
