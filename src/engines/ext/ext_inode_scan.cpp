// EXT2: deleted files are free inodes that still hold their size and block pointers.
#include <algorithm>

#include "core/size_text.h"
#include "engines/ext/ext_volume.h"

namespace lumacore {

namespace {

// Inode tables are read in pieces of about this size rather than block by block.
constexpr std::uint64_t kInodeTableReadBytes = 1 << 20;

bool BitIsSet(const std::vector<std::byte>& bitmap, std::uint64_t bit) {
    const std::uint64_t byte = bit / 8;
    return byte < bitmap.size() &&
           (std::to_integer<unsigned>(bitmap[static_cast<std::size_t>(byte)]) >> (bit % 8) & 1u) != 0;
}

}  // namespace

CExt2Volume::CExt2Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
    : CExtVolume(std::move(disk), partition, kExtEngineExt2) {}

void CExt2Volume::Collect(ScanContext& context) {
    const ExtSuperblock& sb = superblock();
    context.progress.SetTotal(sb.inodesCount);
    const std::uint64_t inodesPerBlock = sb.InodesPerBlock();
    const std::uint64_t chunkBlocks = std::max<std::uint64_t>(1, kInodeTableReadBytes / sb.blockSize);
    const std::uint64_t firstGroup = context.firstBlock / sb.blocksPerGroup;
    const std::uint64_t lastGroup = context.lastBlock / sb.blocksPerGroup;
    std::vector<std::byte> chunk;

    for (std::uint32_t g = 0; g < groups().size(); ++g) {
        const ExtGroupDescriptor& d = groups()[g];
        const std::uint64_t groupFirstInode = std::uint64_t{g} * sb.inodesPerGroup + 1;
        if (g < firstGroup || g > lastGroup) continue;
        // A group whose inode table was never initialised never held a file.
        if (sb.hasGroupChecksums() && (d.flags & kExtGroupInodeUninit) != 0) continue;
        auto bitmap = ReadBlock(d.inodeBitmap);
        if (!bitmap) continue;
        // On checksummed volumes the inodes at the end of the table that were never handed out are counted.
        std::uint64_t usedSlots = sb.inodesPerGroup;
        if (sb.hasGroupChecksums() && d.unusedInodes < usedSlots) usedSlots -= d.unusedInodes;
        const std::uint64_t tableBlocks = (usedSlots + inodesPerBlock - 1) / inodesPerBlock;

        for (std::uint64_t j = 0; j < tableBlocks; j += chunkBlocks) {
            if (context.stop.StopRequested()) return;
            const std::uint64_t count = std::min(chunkBlocks, tableBlocks - j);
            chunk.resize(static_cast<std::size_t>(count * sb.blockSize));
            const bool whole = ReadBlocks(d.inodeTable + j, chunk).has_value();
            for (std::uint64_t k = 0; k < count; ++k) {
                const std::uint64_t t = d.inodeTable + j + k;
                if (!context.InRange(t)) continue;
                const std::span<std::byte> block = std::span<std::byte>(chunk).subspan(
                    static_cast<std::size_t>(k * sb.blockSize), sb.blockSize);
                // Only when the large read failed: find out which blocks can still be read.
                if (!whole && !ReadBlocks(t, block)) continue;
                for (std::uint64_t s = 0; s < inodesPerBlock; ++s) {
                    const std::uint64_t slot = (j + k) * inodesPerBlock + s;
                    const std::uint64_t n = groupFirstInode + slot;
                    if (slot >= usedSlots || n > sb.inodesCount) break;
                    if (context.stop.StopRequested()) return;
                    context.progress.SetDone(static_cast<std::int64_t>(n));
                    if (BitIsSet(*bitmap, slot)) continue;
                    const ExtInode inode = ParseExtInode(
                        block.subspan(static_cast<std::size_t>(s * sb.inodeSize), sb.inodeSize), sb);
                    if (inode.dtime == 0 || !IsPlausibleFileInode(inode, sb, context.now)) continue;
                    auto node = std::make_unique<ExtFileNode>();
                    node->inode = inode;
                    node->inodeNumber = static_cast<std::uint32_t>(n);
                    results_.push_back(std::move(node));
                    context.CountFound();
                }
            }
        }
    }
}

void CExt2Volume::NameResults() {
    for (auto& node : results_) {
        node->name = Format("inode_%08X.tmp", node->inodeNumber);
        node->typeText.clear();
        node->checked = false;
    }
}

}  // namespace lumacore
