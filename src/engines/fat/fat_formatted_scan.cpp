// The formatted-drive scan: after a quick format the FAT and the root directory are blank, but the old
// folders' directory clusters are still in the data region. Phase 1 finds them by content, phase 2
// reads each run of directory clusters as a folder and rebuilds the tree from their ".." entries and
// from the folder entries that name them.
#include <list>
#include <unordered_map>

#include "core/filter.h"
#include "core/size_text.h"
#include "engines/fat/fat_directory_entry.h"
#include "engines/fat/fat_name_seams.h"
#include "engines/fat/fat_scan_base.h"

namespace lumacore {

namespace {

// Phase 1 reads this many bytes per call, whole clusters at a time.
constexpr std::size_t kScanChunkBytes = 1 << 20;

}  // namespace

class FatFormattedScan : FatScanBase {
public:
    FatFormattedScan(CFatVolume& volume, FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                   const StopToken& stop)
        : FatScanBase(volume, tree, filter, progress, stop) {}

    bool Run();

private:
    using RunList = std::list<FatFolderEntry>;

    // Cluster 1 stands for the FAT12/16 root directory region.
    std::uint64_t ClusterSector(std::uint32_t cluster) const {
        return cluster == 1 && g_.kind != FatKind::Fat32 ? g_.RootDirSector() : g_.ClusterFirstSector(cluster);
    }
    std::uint64_t ClusterLengthBytes(std::uint32_t cluster) const {
        return cluster == 1 && g_.kind != FatKind::Fat32 ? std::uint64_t{g_.rootDirSectors} * g_.bytesPerSector
                                                         : g_.ClusterBytes();
    }
    bool FindDirectoryClusters(std::uint32_t first, std::uint32_t last);
    bool ReadRuns();
    void AddRun(std::uint32_t cluster);
    RunList::iterator FindRun(std::uint32_t cluster, const FatFolderEntry* except);


    FatResultTree::ItemId root_ = FatResultTree::kNoItem;
    FatResultTree::ItemId lostDir_ = FatResultTree::kNoItem;
    RunList runs_;
    std::unordered_multimap<std::uint32_t, RunList::iterator> runsByCluster_;
    std::uint64_t folderCounter_ = 0;
    std::uint64_t acceptedFiles_ = 0;
};

void FatFormattedScan::AddRun(std::uint32_t cluster) {
    FatFolderEntry run;
    run.firstCluster = cluster;
    run.item = root_;
    run.live = 1;  // the run's length in clusters
    runs_.push_back(std::move(run));
    runsByCluster_.emplace(cluster, std::prev(runs_.end()));
}

FatFormattedScan::RunList::iterator FatFormattedScan::FindRun(std::uint32_t cluster, const FatFolderEntry* except) {
    const auto range = runsByCluster_.equal_range(cluster);
    for (auto it = range.first; it != range.second; ++it) {
        if (&*it->second != except) return it->second;
    }
    return runs_.end();
}

bool FatFormattedScan::Run() {
    root_ = InsertRoot();
    lostDir_ = tree_.InsertLast(root_, "LostDIR");
    tree_.SetImages(lostDir_, 1, 2);

    // The cluster range from the sector range (sectors relative to the partition).
    const std::uint64_t rangeStart = volume_.rangeStart;
    const std::uint64_t rangeEnd = volume_.rangeEnd;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (g_.kind == FatKind::Fat32) {
        const std::uint64_t rootSector = g_.ClusterFirstSector(g_.rootCluster);
        first = rangeStart < rootSector ? g_.rootCluster : g_.rootCluster + (rangeStart - rootSector) / g_.sectorsPerCluster;
        last = rangeEnd < rootSector ? g_.rootCluster : g_.rootCluster + (rangeEnd - rootSector) / g_.sectorsPerCluster;
    } else {
        const std::uint64_t dataStart = g_.DataStartSector();
        first = rangeStart < dataStart ? 1 : (rangeStart - dataStart) / g_.sectorsPerCluster + 2;
        last = rangeEnd < dataStart ? 1 : (rangeEnd - dataStart) / g_.sectorsPerCluster + 2;
    }
    // The range also takes the cluster after its last one; nothing past the volume's last cluster exists.
    last = std::min<std::uint64_t>(last + 1, std::uint64_t{g_.clusterCount} + 1);
    if (first > last) return false;
    if (!FindDirectoryClusters(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last))) return false;
    if (!ReadRuns()) return false;

    tree_.Prune(root_, [](const FileNodeList& files) { return files.size(); });
    if (!tree_.item(root_).children.empty()) {
        tree_.Select(root_);
        tree_.Expand(root_);
    }
    return true;
}

bool FatFormattedScan::FindDirectoryClusters(std::uint32_t first, std::uint32_t last) {
    progress_.Start("Found Folders : 0", std::int64_t{last} - first + 1);
    std::vector<std::byte> chunk;
    std::int64_t lastRunStart = -2;
    std::uint32_t cluster = first;
    if (cluster == 1) {
        // The FAT12/16 root region is read on its own: it is not a cluster's length.
        chunk.assign(static_cast<std::size_t>(ClusterLengthBytes(1)), std::byte{0});
        if (!volume_.ReadSectors(ClusterSector(1), chunk)) return false;
        if (IsDirectorySector(std::span<const std::byte>(chunk).first(std::min<std::size_t>(chunk.size(), g_.bytesPerSector)),
                              g_, currentYear_)) {
            AddRun(1);
            lastRunStart = 0;
        }
        ++cluster;
    }
    const std::uint32_t clusterBytes = g_.ClusterBytes();
    const std::uint32_t perChunk = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kScanChunkBytes / clusterBytes));
    while (cluster <= last && !stop_.StopRequested()) {
        const std::uint32_t count = std::min<std::uint32_t>(perChunk, last - cluster + 1);
        chunk.assign(std::size_t{count} * clusterBytes, std::byte{0});
        if (!volume_.ReadSectors(ClusterSector(cluster), chunk)) return false;
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::int64_t j = std::int64_t{cluster} + k - first;
            const auto sector = std::span<const std::byte>(chunk).subspan(std::size_t{k} * clusterBytes, g_.bytesPerSector);
            if (!IsDirectorySector(sector, g_, currentYear_)) continue;
            if (!StartsWithDotEntries(sector) && j == lastRunStart + 1) {
                ++runs_.back().live;  // only the cluster right after a run's first one joins it
                continue;
            }
            AddRun(cluster + k);
            lastRunStart = j;
            progress_.SetText(Format("Found Folders : %zu", runs_.size()));
        }
        cluster += count;
        progress_.SetDone(std::int64_t{cluster} - first);
    }
    return true;
}

bool FatFormattedScan::ReadRuns() {
    progress_.Start("", static_cast<std::int64_t>(runs_.size()));
    if (runs_.empty()) return false;
    std::vector<std::byte> buffer;
    std::size_t deferredInARow = 0;
    std::int64_t taken = 0;
    // A folder's clusters read as separate runs cut the long names that straddle them; the pieces at
    // the end of one run and at the start of another are joined once every run was read.
    FatNameSeams seams;
    struct CutName {
        FatEntryReader::NameSeam leading;
        FatFileNode* node = nullptr;
        std::uint64_t run = 0;
    };
    std::vector<CutName> cutNames;
    while (!runs_.empty() && !stop_.StopRequested()) {
        FatFolderEntry& run = runs_.front();
        const std::uint64_t bytes = run.firstCluster == 1 ? ClusterLengthBytes(1)
                                                         : std::uint64_t{run.live} * g_.ClusterBytes();
        buffer.assign(static_cast<std::size_t>(bytes), std::byte{0});
        if (!volume_.ReadSectors(ClusterSector(run.firstCluster), buffer)) return false;

        std::size_t firstEntry = 0;
        if (StartsWithDotEntries(buffer)) {
            const FatDirEntry dotdot = EntryAt(buffer, 1);
            const std::uint32_t parent =
                g_.kind == FatKind::Fat32 ? dotdot.firstCluster32() : std::uint32_t{dotdot.lowCluster()};
            // Wait for the parent's run to be read first, unless every run left is waiting for another:
            // then they point at each other and go to "LostDIR".
            if (FindRun(parent, &run) != runs_.end() && deferredInARow < runs_.size()) {
                runs_.splice(runs_.end(), runs_, runs_.begin());
                ++deferredInARow;
                continue;
            }
            if (parent != 0 && run.item == root_) run.item = lostDir_;
            firstEntry = 2;
        } else if (run.firstCluster > (g_.kind == FatKind::Fat32 ? g_.rootCluster : 1)) {
            run.item = lostDir_;
        }
        deferredInARow = 0;
        if (run.name.empty()) run.name = Format("DIR%llu", static_cast<unsigned long long>(folderCounter_++));
        const FatResultTree::ItemId item = tree_.InsertLast(run.item, run.name);
        tree_.SetImages(item, 1, 2);

        entries_.ClearLongName();
        bool named = false;
        FatFileNode* leadingFile = nullptr;
        entries_.Read(
            buffer, firstEntry, [] { return true; },
            [&](const FatDirEntry& entry, const std::string& name) {
                named = true;
                const std::uint32_t cluster =
                    g_.kind == FatKind::Fat32 ? entry.firstCluster32() : std::uint32_t{entry.lowCluster()};
                const auto claimed = FindRun(cluster, &run);
                if (claimed == runs_.end()) return;
                claimed->item = item;
                claimed->name = name;
            },
            [&](const FatDirEntry& entry) {
                const bool first = !named;
                named = true;
                std::unique_ptr<FatFileNode> node = entries_.MakeNode(entry);
                if (!PassesFilter(FilterSubject{node->displayName, node->extension, node->creationDate, node->size},
                                  filter_)) {
                    return;
                }
                if (first) leadingFile = node.get();
                tree_.item(item).data.push_back(std::move(node));
                ++acceptedFiles_;
            });
        const auto runNumber = static_cast<std::uint64_t>(taken);
        seams.AddTrailing(entries_.trailingSeam(), runNumber);
        if (leadingFile && entries_.leadingSeam().present) cutNames.push_back({entries_.leadingSeam(), leadingFile, runNumber});

        const auto range = runsByCluster_.equal_range(run.firstCluster);
        for (auto it = range.first; it != range.second; ++it) {
            if (&*it->second == &run) {
                runsByCluster_.erase(it);
                break;
            }
        }
        runs_.pop_front();
        progress_.SetDone(++taken);
    }
    for (const CutName& cut : cutNames) {
        const std::uint64_t owner = seams.Match(cut.leading, cut.run);
        if (owner != FatNameSeams::kNone) FatNameSeams::Rename(*cut.node, cut.leading, seams.Trailing(owner));
    }
    return true;
}

bool CFatVolume::FormattedDriveScan(FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                                    const StopToken& stop) {
    if (!open_) return false;
    FatFormattedScan scan(*this, tree, filter, progress, stop);
    return scan.Run();
}

}  // namespace lumacore
