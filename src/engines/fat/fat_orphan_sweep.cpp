#include "engines/fat/fat_orphan_sweep.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/filter.h"
#include "core/size_text.h"
#include "engines/fat/fat_directory_entry.h"

namespace lumacore {

namespace {

// The sweep reads this many bytes per call, whole clusters at a time.
constexpr std::size_t kSweepChunkBytes = std::size_t{1} << 20;

}  // namespace

bool FatOrphanSweep::IsRootCluster(std::uint32_t cluster) const {
    // ".." holds 0 when the parent is the root, whatever the root's own cluster.
    return cluster == 0 || (g_.kind == FatKind::Fat32 && cluster == g_.rootCluster);
}

std::uint32_t FatOrphanSweep::EntryCluster(const FatDirEntry& entry) const {
    return g_.kind == FatKind::Fat32 ? entry.firstCluster32() : std::uint32_t{entry.lowCluster()};
}

bool FatOrphanSweep::Run(std::uint64_t& acceptedFiles) {
    if (!FindRuns()) return false;
    for (OrphanRun& run : runs_) {
        if (stop_.StopRequested()) return true;
        if (!ReadRun(run)) return false;
    }
    Link();
    for (std::size_t i = 0; i < runs_.size(); ++i) Place(i);

    for (OrphanRun& run : runs_) {
        FileNodeList& files = tree_.item(run.item).data;
        for (auto& node : run.files) {
            if (!PassesFilter(
                    FilterSubject{node->displayName, node->extension, node->creationDate, node->size},
                    filter_)) {
                continue;
            }
            files.push_back(std::move(node));
            ++acceptedFiles;
        }
        run.files.clear();
        // The placed clusters are folder data: no deleted file's data runs through them.
        for (std::uint32_t k = 0; k < run.count; ++k)
            walk_.directoryClusters.set(std::uint64_t{run.first} + k);
    }
    progress_.SetText(Format("Found Deleted Files : %llu", static_cast<unsigned long long>(acceptedFiles)));
    return true;
}

bool FatOrphanSweep::FindRuns() {
    // Candidates: free clusters no walked folder read. Clusters in use belong to live files and folders,
    // whose chains the walk followed whole.
    const std::uint64_t end = std::uint64_t{g_.clusterCount} + 2;
    auto candidate = [&](std::uint64_t c) {
        return volume_.FatEntry(static_cast<std::uint32_t>(c)) == 0 && !walk_.directoryClusters.test(c);
    };
    const std::uint32_t clusterBytes = g_.ClusterBytes();
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kSweepChunkBytes / clusterBytes);
    const std::uint64_t maxRunClusters = std::max<std::uint64_t>(1, kMaxFolderBytes / clusterBytes);
    std::vector<std::byte> chunk;
    for (std::uint64_t window = 2; window < end && !stop_.StopRequested(); window += perChunk) {
        const std::uint64_t windowEnd = std::min(end, window + perChunk);
        std::uint64_t first = window;
        while (first < windowEnd && !candidate(first)) ++first;
        if (first == windowEnd) continue;
        std::uint64_t last = windowEnd - 1;
        while (!candidate(last)) --last;
        // One read from the first candidate of the window to its last: the live clusters between them
        // cost less read along than as separate calls.
        chunk.resize(static_cast<std::size_t>((last - first + 1) * clusterBytes));
        if (!volume_.ReadSectors(g_.ClusterFirstSector(static_cast<std::uint32_t>(first)), chunk))
            return false;
        for (std::uint64_t c = first; c <= last; ++c) {
            if (!candidate(c)) continue;
            const auto sector = std::span<const std::byte>(chunk).subspan(
                static_cast<std::size_t>((c - first) * clusterBytes), g_.bytesPerSector);
            if (!IsDirectorySector(sector, g_, currentYear_)) continue;
            const bool dotted = StartsWithDotEntries(sector);
            if (!dotted && !runs_.empty()) {
                OrphanRun& previous = runs_.back();
                if (std::uint64_t{previous.first} + previous.count == c && previous.count < maxRunClusters) {
                    ++previous.count;
                    continue;
                }
            }
            if (runs_.size() >= kMaxRuns) return true;
            OrphanRun run;
            run.first = static_cast<std::uint32_t>(c);
            run.count = 1;
            run.dotted = dotted;
            if (dotted) run.dotdot = EntryCluster(EntryAt(sector, 1));
            runByFirst_.emplace(run.first, runs_.size());
            runs_.push_back(std::move(run));
        }
    }
    return true;
}

bool FatOrphanSweep::ReadRun(OrphanRun& run) {
    std::vector<std::byte> buffer(std::size_t{run.count} * g_.ClusterBytes());
    if (!volume_.ReadSectors(g_.ClusterFirstSector(run.first), buffer)) return false;
    entries_.ClearLongName();
    bool named = false;
    entries_.Read(
        buffer, run.dotted ? 2 : 0, [] { return true; },
        [&](const FatDirEntry& entry, const std::string& name) {
            named = true;
            run.subfolders.push_back({EntryCluster(entry), name});
        },
        [&](const FatDirEntry& entry) {
            if (!named) run.leadsWithFile = true;
            named = true;
            run.files.push_back(entries_.MakeNode(entry));
        });
    run.endsFull = !EntryAt(buffer, buffer.size() / kDirEntrySize - 1).isFree();
    run.leading = entries_.leadingSeam();
    run.trailing = entries_.trailingSeam();
    entries_.ClearLongName();
    return true;
}

void FatOrphanSweep::MendCutNames() {
    FatNameSeams seams;
    for (const auto& [item, seam] : walk_.trailingSeams) seams.AddTrailing(seam, kWalkedOwner + item);
    for (std::size_t i = 0; i < runs_.size(); ++i) seams.AddTrailing(runs_[i].trailing, i);
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        OrphanRun& run = runs_[i];
        run.seamOwner = seams.Match(run.leading, i);
        if (run.seamOwner == FatNameSeams::kNone) continue;
        const FatEntryReader::NameSeam& trailing = seams.Trailing(run.seamOwner);
        if (run.leadsWithFile && !run.files.empty()) {
            FatNameSeams::Rename(*run.files.front(), run.leading, trailing);
        } else if (!run.leadsWithFile && !run.subfolders.empty()) {
            run.subfolders.front().name = FatEntryReader::JoinSeam(run.leading, trailing);
        }
    }
}

void FatOrphanSweep::Link() {
    MendCutNames();
    // The data ends of the files each run lists, for the runs that follow them.
    std::unordered_map<std::uint32_t, std::size_t> runDataEnds;
    const std::uint64_t clusterBytes = g_.ClusterBytes();
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        for (const auto& node : runs_[i].files) {
            if (node->size == 0 || !g_.IsDataCluster(node->firstCluster)) continue;
            const std::uint64_t end =
                node->firstCluster + (std::uint64_t{node->size} + clusterBytes - 1) / clusterBytes;
            if (end <= UINT32_MAX) runDataEnds.emplace(static_cast<std::uint32_t>(end), i);
        }
    }
    // Names and containers of the folders the runs name.
    std::unordered_map<std::uint32_t, std::pair<std::size_t, const std::string*>> namedBy;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        for (const SubfolderEntry& sub : runs_[i].subfolders)
            namedBy.emplace(sub.cluster, std::pair{i, &sub.name});
    }
    // A folder with first cluster `cluster`: a walked one, or a run that is a folder's first cluster.
    auto linkToFolder = [&](OrphanRun& run, std::uint32_t cluster) {
        if (IsRootCluster(cluster)) {
            run.linkItem = root_;
            return true;
        }
        if (const auto walked = walk_.folderByCluster.find(cluster); walked != walk_.folderByCluster.end()) {
            run.linkItem = walked->second;
            return true;
        }
        if (const auto found = runByFirst_.find(cluster);
            found != runByFirst_.end() && runs_[found->second].dotted && &runs_[found->second] != &run) {
            run.linkRun = found->second;
            return true;
        }
        return false;
    };

    for (std::size_t i = 0; i < runs_.size(); ++i) {
        OrphanRun& run = runs_[i];
        const auto named = namedBy.find(run.first);
        if (run.dotted) {
            if (named != namedBy.end()) run.name = *named->second.second;
            if (linkToFolder(run, run.dotdot)) continue;
            if (named != namedBy.end() && named->second.first != i) run.linkRun = named->second.first;
            continue;
        }
        // A later cluster of a folder: the subfolders it names tell whose it is exactly ...
        bool linked = false;
        for (const SubfolderEntry& sub : run.subfolders) {
            const auto child = runByFirst_.find(sub.cluster);
            if (child == runByFirst_.end() || !runs_[child->second].dotted) continue;
            if ((linked = linkToFolder(run, runs_[child->second].dotdot))) break;
        }
        if (linked) continue;
        // ... else the cluster that holds the rest of the long name it begins with ...
        if (run.seamOwner != FatNameSeams::kNone) {
            if (run.seamOwner >= kWalkedOwner) {
                run.linkItem = static_cast<FatResultTree::ItemId>(run.seamOwner - kWalkedOwner);
            } else {
                run.linkRun = static_cast<std::size_t>(run.seamOwner);
            }
            continue;
        }
        // ... else the file whose data ends right before it (a folder extended as each entry is made),
        // or right before the data of its first file (a folder extended after its files were written)
        // was written into the same folder.
        std::vector<std::uint32_t> keys{run.first};
        for (const auto& node : run.files) {
            if (node->size == 0) continue;
            keys.push_back(node->firstCluster);
            break;
        }
        for (const std::uint32_t key : keys) {
            if (const auto walked = walk_.deletedDataEnds.find(key); walked != walk_.deletedDataEnds.end()) {
                run.linkItem = walked->second;
                break;
            }
            if (const auto other = runDataEnds.find(key); other != runDataEnds.end() && other->second != i) {
                run.linkRun = other->second;
                break;
            }
        }
    }
    LinkToNearestFullEnd();
}

void FatOrphanSweep::LinkToNearestFullEnd() {
    // Last: a folder that filled its last known cluster goes on in a later one, and clusters are handed
    // out forwards, so a cluster nothing else places continues the nearest full folder before it that
    // nothing else continues.
    std::map<std::uint32_t, std::uint64_t> fullEnds;  // last cluster -> run index, or kWalkedOwner + item
    for (const auto& [cluster, item] : walk_.fullEnds) fullEnds.emplace(cluster, kWalkedOwner + item);
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (runs_[i].endsFull) fullEnds.emplace(runs_[i].first + runs_[i].count - 1, i);
    }
    // Ends that something else already continues are taken out, so each search below steps back at
    // most over the run's own end.
    std::set<std::uint64_t> continued;
    for (const OrphanRun& run : runs_) {
        if (run.seamOwner != FatNameSeams::kNone) continued.insert(run.seamOwner);
        if (run.linkRun != SIZE_MAX && !run.dotted) continued.insert(run.linkRun);
    }
    std::erase_if(fullEnds, [&](const auto& end) { return continued.count(end.second) != 0; });
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        OrphanRun& run = runs_[i];
        if (run.dotted || run.linkItem != FatResultTree::kNoItem || run.linkRun != SIZE_MAX) continue;
        auto it = fullEnds.lower_bound(run.first);
        while (it != fullEnds.begin()) {
            --it;
            if (it->second == i) continue;
            if (it->second >= kWalkedOwner) {
                run.linkItem = static_cast<FatResultTree::ItemId>(it->second - kWalkedOwner);
            } else {
                run.linkRun = static_cast<std::size_t>(it->second);
            }
            fullEnds.erase(it);
            break;
        }
    }
}

FatResultTree::ItemId FatOrphanSweep::LostFiles() {
    if (lostFiles_ == FatResultTree::kNoItem) {
        lostFiles_ = tree_.InsertLast(root_, "Lost Files");
        tree_.SetImages(lostFiles_, 3, 4);
    }
    return lostFiles_;
}

void FatOrphanSweep::Place(std::size_t index) {
    // Follow the links up to a placed run or a tree item without recursion: a big folder's clusters
    // link one to the next in a chain as long as the folder.
    std::vector<std::size_t> path;
    FatResultTree::ItemId base = FatResultTree::kNoItem;
    for (std::size_t at = index;;) {
        OrphanRun& run = runs_[at];
        if (run.item != FatResultTree::kNoItem) {
            base = run.item;
            break;
        }
        if (run.visiting) break;  // the links go round: the deepest run goes under "Lost Files"
        run.visiting = true;
        path.push_back(at);
        if (run.linkItem != FatResultTree::kNoItem) {
            base = run.linkItem;
            break;
        }
        if (run.linkRun == SIZE_MAX) break;
        at = run.linkRun;
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        OrphanRun& run = runs_[*it];
        run.visiting = false;
        if (run.dotted) {
            const std::string name = run.name.empty()
                                         ? Format("DIR%llu", static_cast<unsigned long long>(lostCounter_++))
                                         : run.name;
            run.item = tree_.InsertLast(base == FatResultTree::kNoItem ? LostFiles() : base, name);
            tree_.SetImages(run.item, 3, 4);
        } else if (base == FatResultTree::kNoItem) {
            run.item = tree_.InsertLast(LostFiles(),
                                        Format("DIR%llu", static_cast<unsigned long long>(lostCounter_++)));
            tree_.SetImages(run.item, 3, 4);
        } else {
            run.item = base;
        }
        base = run.item;
    }
}

}  // namespace lumacore
