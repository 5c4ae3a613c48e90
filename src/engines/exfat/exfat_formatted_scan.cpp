// The formatted-drive scan: after a quick format the FAT, the bitmap and the root directory are new,
// but the old folders' directory clusters are still in the cluster heap. Phase 1 finds them by their
// entry sets, phase 2 rebuilds the folders from the folder entries that name them.
#include "core/size_text.h"
#include "engines/exfat/exfat_directory_finder.h"
#include "engines/exfat/exfat_found_directories.h"
#include "engines/exfat/exfat_scan_base.h"

namespace lumacore {

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

    progress_.Start("Found Folders : 0", static_cast<std::int64_t>(last - first + 1));
    ExfatFoundDirectories found(layout_, disk());
    const std::vector<std::uint32_t> clusters = FindExfatDirectoryClusters(
        layout_, disk(), first, last, [](std::uint32_t) { return true; }, progress_, stop_,
        [&](std::size_t count) { progress_.SetText(Format("Found Folders : %zu", count)); });
    for (std::uint32_t cluster : clusters) found.AddCandidate(cluster);
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
