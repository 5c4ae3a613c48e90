// The deleted-file scan: a breadth-first walk of the directory tree from the root that lists every
// deleted file set, and every file inside a deleted folder, under its folder; then one sequential pass
// over the free clusters for directories of deleted folders that no entry leads to any more.
#include <algorithm>
#include <deque>
#include <unordered_set>

#include "core/size_text.h"
#include "engines/exfat/exfat_directory_finder.h"
#include "engines/exfat/exfat_directory_tail.h"
#include "engines/exfat/exfat_found_directories.h"
#include "engines/exfat/exfat_scan_base.h"

namespace lumacore {

class ExfatDeletedScan : ExfatScanBase {
  public:
    ExfatDeletedScan(CExfatVolume& volume, ExfatResultTree& tree, const FilterSettings& filter,
                     ProgressFields& progress, const StopToken& stop)
        : ExfatScanBase(volume, tree, filter, progress, stop) {}

    bool Run();

  private:
    struct Folder {
        std::uint32_t firstCluster = 0;
        std::uint64_t length = 0;
        bool noFatChain = false;
        bool live = false;
        ExfatResultTree::ItemId item = ExfatResultTree::kNoItem;
    };

    bool Walk();
    bool ReadFolder(const Folder& folder);
    bool ReadFolderRuns(const Folder& folder, const std::vector<ExfatClusterRun>& runs);
    void TakeSets(const Folder& folder, std::span<const std::byte> entries);
    void TakeSet(const Folder& folder, const ExfatEntrySet& set);
    void FindDirectoryClusters();
    void ExtendDeletedFolder(const Folder& folder, std::uint32_t lastCluster, DirectoryTail tail);
    bool ListOrphanDirectories(ExfatResultTree::ItemId root);
    void Found() {
        progress_.SetText(
            Format("Found Deleted Files : %llu", static_cast<unsigned long long>(acceptedFiles_)));
    }

    std::deque<Folder> queue_;
    // Deleted folders whose last cluster read does not end the folder: their further clusters are
    // taken from the directory clusters the pass over the free clusters finds.
    struct Unfinished {
        Folder folder;
        std::uint32_t lastCluster = 0;
        DirectoryTail tail;
    };
    std::vector<Unfinished> deferred_;
    // Free clusters not read by the walk that hold directory entries, ascending.
    std::vector<std::uint32_t> candidates_;
    // First clusters named by folder entries: such a cluster starts a folder and continues none.
    std::unordered_set<std::uint32_t> namedStarts_;
    std::int64_t foldersRead_ = 0;
    // Every cluster read as a directory: a folder that points back at an ancestor or at a directory
    // already read is not read again, and the orphan pass leaves these clusters alone.
    std::vector<bool> readAsDirectory_;
};

bool ExfatDeletedScan::Run() {
    const ExfatGeometry& g = layout_.geometry();
    readAsDirectory_.assign(std::size_t{g.clusterCount} + 2, false);
    progress_.Start("Found Deleted Files : 0", 1);
    const ExfatResultTree::ItemId root = InsertRoot();

    queue_.push_back(Folder{g.rootCluster, ExfatLayout::kMaxDirectoryBytes, false, true, root});
    if (!Walk()) return false;
    if (volume_.searchOrphanDirectories && !stop_.StopRequested()) {
        FindDirectoryClusters();
        while (!deferred_.empty() && !stop_.StopRequested()) {
            const std::vector<Unfinished> deferred = std::move(deferred_);
            deferred_.clear();
            for (const Unfinished& unfinished : deferred) {
                ExtendDeletedFolder(unfinished.folder, unfinished.lastCluster, unfinished.tail);
            }
            if (!Walk()) return false;
        }
        if (!stop_.StopRequested() && !ListOrphanDirectories(root)) return false;
    }
    PruneAndSelect(root);
    return true;
}

bool ExfatDeletedScan::Walk() {
    while (!queue_.empty() && !stop_.StopRequested()) {
        const Folder folder = queue_.front();
        queue_.pop_front();
        if (folder.item != volume_.rootItem())
            tree_.SetImages(folder.item, folder.live ? 1 : 3, folder.live ? 2 : 4);
        if (!ReadFolder(folder) && folder.live) return false;
        progress_.SetTotal(foldersRead_ + 1 + static_cast<std::int64_t>(queue_.size()));
        progress_.SetDone(++foldersRead_);
    }
    return true;
}

bool ExfatDeletedScan::ReadFolder(const Folder& folder) {
    std::vector<ExfatClusterRun> runs;
    if (folder.live) {
        runs = layout_.LiveRuns(folder.firstCluster, folder.length, folder.noFatChain);
    } else if (folder.noFatChain || !volume_.searchOrphanDirectories) {
        runs = layout_.DeletedRuns(folder.firstCluster, folder.length, folder.noFatChain);
    } else if (runs = layout_.IntactDeletedChain(folder.firstCluster, folder.length); runs.empty()) {
        // Without a chain only the first cluster is sure; the folder's own clusters tell what follows.
        runs = layout_.LiveRuns(folder.firstCluster, 1, true);
    }
    if (runs.empty() || readAsDirectory_[runs.front().first]) return true;
    return ReadFolderRuns(folder, runs);
}

bool ExfatDeletedScan::ReadFolderRuns(const Folder& folder, const std::vector<ExfatClusterRun>& runs) {
    for (const ExfatClusterRun& run : runs) {
        for (std::uint32_t k = 0; k < run.count; ++k) readAsDirectory_[run.first + k] = true;
    }
    auto bytes = layout_.ReadRuns(
        disk(), runs, std::min(std::max<std::uint64_t>(folder.length, 1), ExfatLayout::kMaxDirectoryBytes));
    if (!bytes) return false;
    TakeSets(folder, *bytes);
    const std::uint32_t clusterBytes = layout_.geometry().ClusterBytes();
    if (!folder.live && volume_.searchOrphanDirectories && bytes->size() >= clusterBytes) {
        // Only whole clusters can be followed into the next one.
        const std::size_t wholeBytes = bytes->size() - bytes->size() % clusterBytes;
        DirectoryTail tail =
            TailOf(std::span<const std::byte>(*bytes).subspan(wholeBytes - clusterBytes, clusterBytes));
        if (!tail.ended) {
            deferred_.push_back(
                Unfinished{folder, runs.back().first + runs.back().count - 1, std::move(tail)});
        }
    }
    return true;
}

void ExfatDeletedScan::TakeSets(const Folder& folder, std::span<const std::byte> entries) {
    const std::size_t count = entries.size() / kExfatEntrySize;
    for (std::size_t i = 0; i < count && !stop_.StopRequested();) {
        if (auto set = DecodeEntrySet(entries, i)) {
            i += set->entryCount;
            TakeSet(folder, *set);
        } else {
            ++i;
        }
    }
}

void ExfatDeletedScan::ExtendDeletedFolder(const Folder& folder, std::uint32_t lastCluster,
                                           DirectoryTail tail) {
    const ExfatGeometry& g = layout_.geometry();
    std::vector<std::byte> cluster(g.ClusterBytes());
    std::vector<std::byte> entries;
    // Each step takes the next directory cluster found after the folder's last one that is neither read
    // already nor the start of another folder, and only when the folder's own entries say it goes on there.
    while (!tail.ended && !stop_.StopRequested()) {
        auto it = std::upper_bound(candidates_.begin(), candidates_.end(), lastCluster);
        while (it != candidates_.end() && (readAsDirectory_[*it] || namedStarts_.count(*it) != 0)) ++it;
        if (it == candidates_.end()) return;
        if (!ReadExact(disk(), layout_.volumeOffset() + g.ClusterOffset(*it), cluster)) return;
        std::optional<ExfatEntrySet> joined;
        if (!ContinuesDirectory(tail, cluster, joined)) return;
        readAsDirectory_[*it] = true;
        entries = tail.cutSet;
        entries.insert(entries.end(), cluster.begin(), cluster.end());
        TakeSets(folder, entries);
        tail = TailOf(cluster);
        lastCluster = *it;
    }
}

void ExfatDeletedScan::TakeSet(const Folder& folder, const ExfatEntrySet& set) {
    if (set.isDirectory()) {
        if (!layout_.geometry().IsDataCluster(set.firstCluster) || set.dataLength == 0) return;
        const bool live = folder.live && set.inUse;
        namedStarts_.insert(set.firstCluster);
        const ExfatResultTree::ItemId item =
            tree_.InsertLast(folder.item, MakeExfatFileNode(set)->displayName);
        queue_.push_back(Folder{set.firstCluster, set.dataLength, set.noFatChain, live, item});
        return;
    }
    if (folder.live && set.inUse) return;  // a live file of a live folder is not listed
    if (AddFile(folder.item, set)) Found();
}

void ExfatDeletedScan::FindDirectoryClusters() {
    const ExfatGeometry& g = layout_.geometry();
    progress_.Start(Format("Found Deleted Files : %llu", static_cast<unsigned long long>(acceptedFiles_)),
                    static_cast<std::int64_t>(g.clusterCount));
    // Only clusters that are free and were not read by the walk can hold a lost directory cluster.
    candidates_ = FindExfatDirectoryClusters(
        layout_, disk(), 2, std::uint64_t{g.clusterCount} + 1,
        [&](std::uint32_t c) { return !layout_.InUse(c) && !readAsDirectory_[c]; }, progress_, stop_,
        nullptr);
}

bool ExfatDeletedScan::ListOrphanDirectories(ExfatResultTree::ItemId root) {
    ExfatFoundDirectories found(layout_, disk());
    for (std::uint32_t cluster : candidates_) {
        if (!readAsDirectory_[cluster]) found.AddCandidate(cluster);
    }
    if (found.candidateCount() == 0) return true;
    const ExfatResultTree::ItemId lost = tree_.InsertLast(root, "Lost Files");
    tree_.SetImages(lost, 3, 4);
    return found.Build(tree_, lost, lost, progress_, stop_,
                       [&](ExfatResultTree::ItemId folder, const ExfatEntrySet& set) {
                           if (AddFile(folder, set)) Found();
                       });
}

bool CExfatVolume::DeletedFileScan(ExfatResultTree& tree, const FilterSettings& filter,
                                   ProgressFields& progress, const StopToken& stop) {
    if (!open_) return false;
    ExfatDeletedScan scan(*this, tree, filter, progress, stop);
    return scan.Run();
}

}  // namespace lumacore
