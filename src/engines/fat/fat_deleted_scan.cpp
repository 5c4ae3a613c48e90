// The deleted-file scan: a breadth-first walk of the directory tree from the root that lists every
// deleted file, and every file inside a deleted folder, under its folder.
#include <deque>
#include <map>
#include <set>

#include "core/filter.h"
#include "core/size_text.h"
#include "engines/fat/fat_data_plan.h"
#include "engines/fat/fat_directory_entry.h"
#include "engines/fat/fat_orphan_sweep.h"
#include "engines/fat/fat_scan_base.h"

namespace lumacore {

class FatDeletedScan : FatScanBase {
public:
    FatDeletedScan(CFatVolume& volume, FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                   const StopToken& stop)
        : FatScanBase(volume, tree, filter, progress, stop),
          lastReadInFolder_(std::size_t{g_.clusterCount} + 2, 0),
          walk_(std::uint64_t{g_.clusterCount} + 2) {}

    bool Run();

private:
    enum class FolderRead { Done, Failed };

    FolderRead ReadFolder(const FatFolderEntry& folder, bool isRoot);
    void ReadEntries(std::span<const std::byte> buffer, std::size_t firstEntry, const FatFolderEntry& folder);
    void TakeFolderEntry(const FatDirEntry& entry, const FatFolderEntry& current, const std::string& name);
    void TakeFileEntry(const FatDirEntry& entry, const FatFolderEntry& current);
    // FAT32: the first cluster of a deleted folder whose high word was cleared; 0 when none fits.
    std::uint32_t FindDeletedFolderCluster(const FatDirEntry& entry, std::uint32_t parentCluster);
    bool LooksLikeChildOf(std::uint32_t cluster, std::uint32_t parentCluster);
    bool ContinuesDeletedFolder(std::uint32_t cluster);
    void Enqueue(FatFolderEntry folder);
    bool SweepOrphans(FatResultTree::ItemId root);
    void PlanFileData(FatResultTree::ItemId root);


    std::deque<FatFolderEntry> queue_;
    // Queued folders that are not live, by first cluster: a later entry for the same cluster names them.
    std::multimap<std::uint32_t, FatFolderEntry*> queuedDeleted_;
    // Each cluster is read at most once as a live folder and once as a deleted one: a folder that points
    // at one of its ancestors, or two folders sharing a cluster, cannot make the walk go round forever.
    std::set<std::pair<std::uint32_t, std::uint32_t>> queuedKeys_;
    // Marks the clusters read for the folder being read, to end a FAT chain that loops.
    std::vector<std::uint32_t> lastReadInFolder_;
    std::uint32_t folderSerial_ = 0;
    std::uint64_t acceptedFiles_ = 0;
    std::vector<std::byte> cluster_;
    FatWalkRecord walk_;
};

bool FatDeletedScan::Run() {
    progress_.SetText("Found Deleted Files : 0");
    progress_.SetTotal(volume_.EstimatedFileCount());
    progress_.SetDone(0);

    const FatResultTree::ItemId root = InsertRoot();

    FatFolderEntry rootFolder;
    rootFolder.firstCluster = g_.kind == FatKind::Fat32 ? g_.rootCluster : 1;
    rootFolder.item = root;
    rootFolder.live = 1;
    walk_.folderByCluster.emplace(rootFolder.firstCluster, root);
    queuedKeys_.insert({rootFolder.firstCluster, 1});
    bool ok = ReadFolder(rootFolder, true) == FolderRead::Done;

    while (ok && !queue_.empty() && !stop_.StopRequested()) {
        FatFolderEntry* head = &queue_.front();
        auto range = queuedDeleted_.equal_range(head->firstCluster);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == head) {
                queuedDeleted_.erase(it);
                break;
            }
        }
        const FatFolderEntry folder = *head;
        queue_.pop_front();
        tree_.SetImages(folder.item, folder.live ? 1 : 3, folder.live ? 2 : 4);
        ok = ReadFolder(folder, false) == FolderRead::Done;
    }
    if (!ok) return false;
    if (!stop_.StopRequested() && !SweepOrphans(root)) return false;
    PlanFileData(root);

    tree_.Prune(root, [](const FileNodeList& files) { return files.size(); });
    if (!tree_.item(root).children.empty()) {
        tree_.Select(root);
        tree_.Expand(root);
    }
    return true;
}

FatDeletedScan::FolderRead FatDeletedScan::ReadFolder(const FatFolderEntry& folder, bool isRoot) {
    if (folder.live) progress_.AddDone(1);
    entries_.ClearLongName();

    if (isRoot && g_.kind != FatKind::Fat32) {
        // The FAT12/16 root directory is a region of its own length before cluster 2.
        cluster_.assign(std::size_t{g_.rootDirSectors} * g_.bytesPerSector, std::byte{0});
        if (!volume_.ReadSectors(g_.RootDirSector(), cluster_)) return FolderRead::Failed;
        ReadEntries(cluster_, 0, folder);
        entries_.ClearLongName();
        return FolderRead::Done;
    }

    ++folderSerial_;
    cluster_.assign(g_.ClusterBytes(), std::byte{0});
    // A folder holds at most 65,536 entries of 32 bytes, so a deleted one spans at most 2 MiB.
    const std::uint64_t maxDeletedRun = std::max<std::uint64_t>(1, (std::uint64_t{65536} * kDirEntrySize) / g_.ClusterBytes());
    std::uint64_t deletedRun = 0;
    std::uint32_t cluster = folder.firstCluster;
    std::uint32_t lastRead = 0;
    for (bool first = true;; first = false) {
        // A cluster outside the data region holds no folder; a chain that comes back to a cluster of
        // this folder loops.
        if (!g_.IsDataCluster(cluster) || lastReadInFolder_[cluster] == folderSerial_) break;
        lastReadInFolder_[cluster] = folderSerial_;
        lastRead = cluster;
        walk_.directoryClusters.set(cluster);
        if (!volume_.ReadSectors(g_.ClusterFirstSector(cluster), cluster_)) return FolderRead::Failed;
        ReadEntries(cluster_, first && StartsWithDotEntries(cluster_) ? 2 : 0, folder);
        if (stop_.StopRequested()) break;
        if (folder.live) {
            const std::uint32_t next = volume_.FatEntry(cluster);
            if (volume_.EndsChain(next)) break;
            cluster = next;
        } else {
            // A deleted folder's chain is gone, but folders are nearly always written into consecutive
            // clusters: go on while the next cluster is still free and still holds directory entries
            // of its own (not the start of another folder).
            const std::uint32_t next = cluster + 1;
            if (++deletedRun >= maxDeletedRun || !g_.IsDataCluster(next) || volume_.FatEntry(next) != 0 ||
                !ContinuesDeletedFolder(next)) {
                break;
            }
            cluster = next;
        }
    }
    if (!folder.live && entries_.trailingSeam().present) {
        walk_.trailingSeams.emplace_back(folder.item, entries_.trailingSeam());
    }
    if (!folder.live && lastRead != 0 && !EntryAt(cluster_, cluster_.size() / kDirEntrySize - 1).isFree()) {
        walk_.fullEnds.emplace_back(lastRead, folder.item);
    }
    entries_.ClearLongName();
    return FolderRead::Done;
}

void FatDeletedScan::ReadEntries(std::span<const std::byte> buffer, std::size_t firstEntry,
                                 const FatFolderEntry& folder) {
    entries_.Read(
        buffer, firstEntry, [this] { return !stop_.StopRequested(); },
        [&](const FatDirEntry& entry, const std::string& name) { TakeFolderEntry(entry, folder, name); },
        [&](const FatDirEntry& entry) { TakeFileEntry(entry, folder); });
}

void FatDeletedScan::Enqueue(FatFolderEntry folder) {
    queuedKeys_.insert({folder.firstCluster, folder.live});
    queue_.push_back(std::move(folder));
    if (queue_.back().live == 0) queuedDeleted_.emplace(queue_.back().firstCluster, &queue_.back());
}

void FatDeletedScan::TakeFolderEntry(const FatDirEntry& entry, const FatFolderEntry& current,
                                     const std::string& name) {
    const bool deleted = entry.isDeleted();
    if (deleted) walk_.sawDeletedFolder = true;
    std::uint32_t cluster = 0;
    if (g_.kind == FatKind::Fat32) {
        cluster = deleted ? FindDeletedFolderCluster(entry, current.firstCluster) : entry.firstCluster32();
        if (cluster == 0) return;
    } else {
        cluster = entry.lowCluster();
    }

    const bool renames = g_.kind == FatKind::Fat32 || deleted;
    if (renames) {
        const auto it = queuedDeleted_.find(cluster);
        if (it != queuedDeleted_.end()) {
            FatFolderEntry& queued = *it->second;
            queued.name = name;
            tree_.SetText(queued.item, name);
            if (g_.kind == FatKind::Fat32 && current.live && !deleted) {
                queued.live = 1;
                queuedKeys_.insert({cluster, 1});
                queuedDeleted_.erase(it);
            }
            return;
        }
    }

    const std::uint32_t live = current.live && !deleted ? 1 : 0;
    if (!g_.IsDataCluster(cluster) || queuedKeys_.count({cluster, live}) != 0) return;
    FatFolderEntry folder;
    folder.firstCluster = cluster;
    folder.item = tree_.InsertLast(current.item, name);
    volume_.folderTimes_[folder.item] = {entry.lastWriteTime(), entry.lastWriteDate(), entry.lastAccessDate()};
    folder.name = name;
    folder.live = live;
    walk_.folderByCluster.emplace(cluster, folder.item);
    Enqueue(std::move(folder));
}

bool FatDeletedScan::LooksLikeChildOf(std::uint32_t cluster, std::uint32_t parentCluster) {
    if (!g_.IsDataCluster(cluster)) return false;
    std::vector<std::byte> sector(g_.bytesPerSector);
    if (!volume_.ReadSectors(g_.ClusterFirstSector(cluster), sector)) return false;
    if (!IsDirectorySector(sector, g_, currentYear_) || !StartsWithDotEntries(sector)) return false;
    const std::uint32_t dotdot = EntryAt(sector, 1).firstCluster32();
    return dotdot == parentCluster || (dotdot == 0 && parentCluster == g_.rootCluster);
}

bool FatDeletedScan::ContinuesDeletedFolder(std::uint32_t cluster) {
    std::vector<std::byte> sector(g_.bytesPerSector);
    if (!volume_.ReadSectors(g_.ClusterFirstSector(cluster), sector)) return false;
    return IsDirectorySector(sector, g_, currentYear_) && !StartsWithDotEntries(sector);
}

std::uint32_t FatDeletedScan::FindDeletedFolderCluster(const FatDirEntry& entry, std::uint32_t parentCluster) {
    // Windows clears the high word on deletion; Linux and others keep it, and then it is trusted when
    // the cluster it names really is a subfolder of this folder.
    if (entry.highCluster() != 0) {
        return LooksLikeChildOf(entry.firstCluster32(), parentCluster) ? entry.firstCluster32() : 0;
    }
    // Candidate high words run over the FAT's 65,536-cluster groups, and never past the last cluster.
    const std::uint64_t groups = std::min<std::uint64_t>(std::uint64_t{g_.bytesPerSector} * g_.sectorsPerFat / 262144,
                                                         (std::uint64_t{g_.clusterCount} + 2 + 0xFFFF) >> 16);
    for (std::uint64_t high = 0; high < groups || high == 0; ++high) {
        const std::uint64_t candidate = (high << 16) | entry.lowCluster();
        if (candidate > UINT32_MAX) break;
        if (LooksLikeChildOf(static_cast<std::uint32_t>(candidate), parentCluster)) {
            return static_cast<std::uint32_t>(candidate);
        }
        if (high + 1 >= groups) break;
    }
    return 0;
}

void FatDeletedScan::TakeFileEntry(const FatDirEntry& entry, const FatFolderEntry& current) {
    const bool deleted = entry.isDeleted();
    if (current.live && !deleted) {
        // A live file of a live folder is not listed; its small cluster count still moves the progress.
        const std::uint64_t clusters = (std::uint64_t{entry.size()} + g_.ClusterBytes() - 1) / g_.ClusterBytes();
        if (clusters < 4) progress_.AddDone(static_cast<std::int64_t>(clusters));
        return;
    }
    std::unique_ptr<FatFileNode> node = entries_.MakeNode(entry);
    if (!current.live && node->size != 0 && g_.IsDataCluster(node->firstCluster)) {
        const std::uint64_t end =
            node->firstCluster + (std::uint64_t{node->size} + g_.ClusterBytes() - 1) / g_.ClusterBytes();
        if (end <= UINT32_MAX) walk_.deletedDataEnds.emplace(static_cast<std::uint32_t>(end), current.item);
    }
    if (!PassesFilter(FilterSubject{node->displayName, node->extension, node->creationDate, node->size}, filter_)) {
        return;
    }
    tree_.item(current.item).data.push_back(std::move(node));
    ++acceptedFiles_;
    progress_.SetText(Format("Found Deleted Files : %llu", static_cast<unsigned long long>(acceptedFiles_)));
}

bool FatDeletedScan::SweepOrphans(FatResultTree::ItemId root) {
    const bool sweep = volume_.orphanSweep == CFatVolume::OrphanSweep::Always ||
                       (volume_.orphanSweep == CFatVolume::OrphanSweep::WhenDeletedFolders && walk_.sawDeletedFolder);
    if (!sweep) return true;
    FatOrphanSweep orphans(volume_, tree_, filter_, progress_, stop_, walk_, root);
    return orphans.Run(acceptedFiles_);
}

void FatDeletedScan::PlanFileData(FatResultTree::ItemId root) {
    // In use today: what the FAT gives to live files and folders, and the folder clusters the scan read.
    FatClusterBitmap inUse(std::uint64_t{g_.clusterCount} + 2);
    inUse.set(0);
    inUse.set(1);
    for (std::uint64_t c = 2; c < inUse.size(); ++c) {
        if (volume_.FatEntry(static_cast<std::uint32_t>(c)) != 0 || walk_.directoryClusters.test(c)) inUse.set(c);
    }
    const FatDataPlanner planner(g_, volume_.fat_, inUse);
    tree_.BreadthFirst(root, [&](FatResultTree::ItemId id) {
        for (auto& node : tree_.item(id).data) planner.Plan(*node);
        return true;
    });
}

bool CFatVolume::DeletedFileScan(FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                                 const StopToken& stop) {
    if (!open_) return false;
    folderTimes_.clear();
    FatDeletedScan scan(*this, tree, filter, progress, stop);
    return scan.Run();
}

}  // namespace lumacore
