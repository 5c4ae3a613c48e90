// The formatted-drive scan: after a quick format the FAT, the bitmap and the root directory are new,
// but the old folders' directory clusters are still in the cluster heap. Phase 1 finds them by their
// entry sets, phase 2 rebuilds the folders from the folder entries that name them.
#include "core/size_text.h"
#include "engines/exfat/exfat_found_directories.h"
#include "engines/exfat/exfat_scan_base.h"

namespace lumacore {

namespace {

// Phase 1 reads this many bytes per call, whole clusters at a time.
constexpr std::size_t kScanChunkBytes = 1 << 20;

}  // namespace

class ExfatFormattedScan : ExfatScanBase {
  public:
    ExfatFormattedScan(CExfatVolume& volume, ExfatResultTree& tree, const FilterSettings& filter,
                       ProgressFields& progress, const StopToken& stop)
        : ExfatScanBase(volume, tree, filter, progress, stop) {}

    bool Run();
};

bool ExfatFormattedScan::Run() {
    const ExfatGeometry& g = layout_.geometry();
    const ExfatResultTree::ItemId root = InsertRoot();
    const ExfatResultTree::ItemId lostDir = tree_.InsertLast(root, "LostDIR");
    tree_.SetImages(lostDir, 1, 2);

    // The cluster range from the sector range (sectors relative to the volume).
    const auto clusterAt = [&](std::uint64_t sector) {
        return sector < g.clusterHeapOffset ? std::uint64_t{2}
                                            : (sector - g.clusterHeapOffset) / g.sectorsPerCluster + 2;
    };
    const std::uint64_t first = clusterAt(volume_.rangeStart);
    const std::uint64_t last =
        std::min<std::uint64_t>(clusterAt(volume_.rangeEnd), std::uint64_t{g.clusterCount} + 1);
    if (first > last) return false;

    ExfatFoundDirectories found(layout_, disk());
    const std::uint32_t clusterBytes = g.ClusterBytes();
    const std::uint32_t perChunk =
        std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kScanChunkBytes / clusterBytes));
    progress_.Start("Found Folders : 0", static_cast<std::int64_t>(last - first + 1));
    std::vector<std::byte> chunk;
    for (std::uint64_t cluster = first; cluster <= last && !stop_.StopRequested();) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, last - cluster + 1));
        chunk.resize(std::size_t{count} * clusterBytes);
        if (!ReadExact(disk(), layout_.volumeOffset() + g.ClusterOffset(static_cast<std::uint32_t>(cluster)),
                       chunk)) {
            return false;
        }
        const std::size_t before = found.candidateCount();
        for (std::uint32_t k = 0; k < count; ++k) {
            const auto bytes =
                std::span<const std::byte>(chunk).subspan(std::size_t{k} * clusterBytes, clusterBytes);
            if (LooksLikeExfatDirectory(bytes)) found.AddCandidate(static_cast<std::uint32_t>(cluster + k));
        }
        if (found.candidateCount() != before)
            progress_.SetText(Format("Found Folders : %zu", found.candidateCount()));
        cluster += count;
        progress_.SetDone(static_cast<std::int64_t>(cluster - first));
    }
    if (found.candidateCount() == 0) return false;
    progress_.SetText("");
    if (!found.Build(
            tree_, root, lostDir, progress_, stop_,
            [&](ExfatResultTree::ItemId folder, const ExfatEntrySet& set) { AddFile(folder, set); })) {
        return false;
    }
    PruneAndSelect(root);
    return true;
}

bool CExfatVolume::FormattedDriveScan(ExfatResultTree& tree, const FilterSettings& filter,
                                      ProgressFields& progress, const StopToken& stop) {
    if (!open_) return false;
    ExfatFormattedScan scan(*this, tree, filter, progress, stop);
    return scan.Run();
}

}  // namespace lumacore
