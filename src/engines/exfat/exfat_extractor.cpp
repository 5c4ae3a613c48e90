#include "engines/exfat/exfat_extractor.h"

#include <algorithm>

namespace lumacore {

namespace {

// Files are moved in blocks of this size: large sequential reads, bounded memory.
constexpr std::size_t kCopyBlock = 1 << 20;

}  // namespace

Result<ExfatExtractor> ExfatExtractor::Open(std::unique_ptr<ByteSource> disk,
                                            const PartitionInfo& partition) {
    if (!disk) return Error::Make(ErrorKind::NotFound, "no disk");
    auto layout = ExfatLayout::Load(*disk, std::uint64_t{partition.startSector} * 512);
    if (!layout) return layout.error();
    return ExfatExtractor(std::move(disk), std::move(*layout));
}

std::vector<ExfatClusterRun> ExfatExtractor::DataRuns(const ExfatFileNode& node) const {
    // Every file a scan lists lies in clusters the volume has let go of (a deleted file, a file of a
    // deleted folder, or one found after a format), so its FAT chain cannot be relied on.
    return layout_.DeletedRuns(node.firstCluster, node.size, node.noFatChain);
}

Result<std::size_t> ExfatExtractor::Read(const ExfatFileNode& node, std::uint64_t offset,
                                         std::span<std::byte> out) {
    if (offset >= node.size) return std::size_t{0};
    if (runsOf_ != &node || runsKey_ != std::tuple(node.firstCluster, node.size, node.noFatChain)) {
        runs_ = DataRuns(node);
        runsOf_ = &node;
        runsKey_ = std::tuple(node.firstCluster, node.size, node.noFatChain);
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), node.size - offset));
    const std::uint64_t clusterBytes = layout_.geometry().ClusterBytes();
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(wanted), std::byte{0});

    bool failed = false;
    // Only the valid part is read; the rest stays zero.
    const std::uint64_t validEnd = std::min(node.validDataLength, node.size);
    std::uint64_t runStart = 0;  // file offset of the current run
    for (const ExfatClusterRun& run : runs_) {
        const std::uint64_t runBytes = std::uint64_t{run.count} * clusterBytes;
        const std::uint64_t from = std::max(offset, runStart);
        const std::uint64_t to = std::min({offset + wanted, runStart + runBytes, validEnd});
        if (from < to) {
            const auto target =
                out.subspan(static_cast<std::size_t>(from - offset), static_cast<std::size_t>(to - from));
            const std::uint64_t at =
                layout_.volumeOffset() + layout_.geometry().ClusterOffset(run.first) + (from - runStart);
            if (!ReadExact(*disk_, at, target)) {
                std::fill(target.begin(), target.end(), std::byte{0});
                failed = true;
            }
        }
        runStart += runBytes;
        if (runStart >= offset + wanted) break;
    }
    if (runStart < std::min<std::uint64_t>(offset + wanted, validEnd))
        failed = true;  // the data runs off the volume
    if (failed)
        return Error::Io("parts of " + node.displayName + " could not be read; they were written as zeros");
    return wanted;
}

Result<void> ExfatExtractor::Copy(const ExfatFileNode& node,
                                  const std::function<Result<void>(std::span<const std::byte>)>& sink) {
    // Data cannot be larger than the cluster heap; a size past it is damage, and zeros for it would be
    // written without end.
    const ExfatGeometry& g = layout_.geometry();
    const std::uint64_t heapBytes = std::uint64_t{g.clusterCount} * g.ClusterBytes();
    if (node.size > heapBytes) {
        return Error::Corrupt(node.displayName + " claims more bytes than the volume holds");
    }
    std::vector<std::byte> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, std::max<std::uint64_t>(node.size, 1))));
    Result<void> outcome;
    for (std::uint64_t offset = 0; offset < node.size;) {
        auto got = Read(node, offset, block);
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), node.size - offset));
        if (!got && outcome) outcome = got.error();  // the zeros stand in; keep going and report at the end
        if (auto written = sink(std::span<const std::byte>(block).first(n)); !written) return written.error();
        offset += n;
    }
    return outcome;
}

}  // namespace lumacore
