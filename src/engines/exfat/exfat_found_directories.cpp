#include "engines/exfat/exfat_found_directories.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "core/size_text.h"
#include "core/utf8.h"
#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

bool ExfatFoundDirectories::ReadCandidates(std::vector<CandidateRun>& runs, std::vector<FoundSet>& sets,
                                           std::vector<std::uint32_t>& rootMarks, const StopToken& stop) {
    const std::uint32_t clusterBytes = layout_.geometry().ClusterBytes();
    const std::uint64_t maxRunClusters =
        std::max<std::uint64_t>(1, ExfatLayout::kMaxDirectoryBytes / clusterBytes);
    for (std::size_t i = 0; i < candidates_.size() && !stop.StopRequested();) {
        std::vector<ExfatClusterRun> run{ExfatClusterRun{candidates_[i], 1}};
        std::size_t j = i + 1;
        while (j < candidates_.size() && candidates_[j] == candidates_[j - 1] + 1 &&
               run[0].count < maxRunClusters) {
            ++run[0].count;
            ++j;
        }
        auto bytes = layout_.ReadRuns(disk_, run, ExfatLayout::kMaxDirectoryBytes);
        if (!bytes) return false;
        const std::span<const std::byte> all(*bytes);
        CandidateRun read;
        read.first = run[0].first;
        read.head.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                        all.size(), 19 * kExfatEntrySize)));
        read.tail = TailOf(all.last(clusterBytes));
        runs.push_back(std::move(read));
        const std::size_t count = bytes->size() / kExfatEntrySize;
        for (std::size_t e = 0; e < count;) {
            const std::uint8_t type = EntryType(*bytes, e);
            const auto cluster =
                static_cast<std::uint32_t>(run[0].first + e * kExfatEntrySize / clusterBytes);
            if (type == exfat_type::kBitmap) rootMarks.push_back(cluster);
            if (auto set = DecodeEntrySet(*bytes, e)) {
                e += set->entryCount;
                sets.push_back(FoundSet{cluster, std::move(*set)});
            } else {
                ++e;
            }
        }
        i = j;
    }
    return true;
}

bool ExfatFoundDirectories::Build(ExfatResultTree& tree, ExfatResultTree::ItemId rootItem,
                                  ExfatResultTree::ItemId lostItem, ProgressFields& progress,
                                  const StopToken& stop, const FileSink& file) {
    std::vector<CandidateRun> runs;
    std::vector<FoundSet> sets;
    std::vector<std::uint32_t> rootMarks;
    if (!ReadCandidates(runs, sets, rootMarks, stop)) return false;

    // A directory starts at every candidate that a folder entry names as its first cluster, and at the
    // first cluster of each run of candidates that does not continue the run before it.
    std::vector<std::uint32_t> starts;
    std::unordered_set<std::uint32_t> named;
    for (const FoundSet& found : sets) {
        if (found.set.isDirectory() &&
            std::binary_search(candidates_.begin(), candidates_.end(), found.set.firstCluster)) {
            starts.push_back(found.set.firstCluster);
            named.insert(found.set.firstCluster);
        }
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::optional<ExfatEntrySet> joined;
        if (r > 0 && named.count(runs[r].first) == 0 &&
            ContinuesDirectory(runs[r - 1].tail, runs[r].head, joined)) {
            runs[r].continuesPrevious = true;
            if (joined) {
                // The set cut by the edge belongs where it begins: the last cluster of the run before.
                const std::uint32_t lastBefore = static_cast<std::uint32_t>(
                    *std::prev(std::lower_bound(candidates_.begin(), candidates_.end(), runs[r].first)));
                sets.push_back(FoundSet{lastBefore, std::move(*joined)});
            }
            continue;
        }
        starts.push_back(runs[r].first);
    }
    std::stable_sort(sets.begin(), sets.end(),
                     [](const FoundSet& a, const FoundSet& b) { return a.cluster < b.cluster; });
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    const auto directoryOf = [&](std::uint32_t cluster) {
        return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), cluster) -
                                        starts.begin()) -
               1;
    };

    std::vector<Directory> dirs(starts.size());
    std::unordered_map<std::uint32_t, std::size_t> dirByStart;
    for (std::size_t d = 0; d < starts.size(); ++d) {
        dirs[d].start = starts[d];
        dirByStart.emplace(starts[d], d);
    }
    for (std::uint32_t mark : rootMarks) dirs[directoryOf(mark)].isOldRoot = true;
    for (FoundSet& found : sets) {
        const std::size_t owner = directoryOf(found.cluster);
        if (found.set.isDirectory()) {
            const auto child = dirByStart.find(found.set.firstCluster);
            if (child != dirByStart.end() && child->second != owner &&
                dirs[child->second].parent == SIZE_MAX && !dirs[child->second].isOldRoot) {
                dirs[child->second].parent = owner;
                dirs[child->second].name = found.set.name;
            }
        }
        dirs[owner].sets.push_back(std::move(found));
    }

    // Items are made from the top down so that every parent exists before its children. Directories
    // left unreached after that name each other in a circle: they go under the lost item.
    std::vector<std::vector<std::size_t>> children(dirs.size());
    std::deque<std::size_t> order;
    for (std::size_t d = 0; d < dirs.size(); ++d) {
        if (dirs[d].parent == SIZE_MAX) {
            order.push_back(d);
        } else {
            children[dirs[d].parent].push_back(d);
        }
    }
    std::uint64_t folderCounter = 0;
    std::vector<bool> placed(dirs.size(), false);
    const auto place = [&](std::size_t d, ExfatResultTree::ItemId under) {
        Directory& dir = dirs[d];
        placed[d] = true;
        if (dir.isOldRoot && dir.parent == SIZE_MAX) {
            dir.item = rootItem;
            return;
        }
        std::string name = dir.name.empty()
                               ? Format("DIR%llu", static_cast<unsigned long long>(folderCounter++))
                               : Utf16ToUtf8(dir.name, U'_');
        dir.item = tree.InsertLast(under, std::move(name));
        tree.SetImages(dir.item, 1, 2);
    };
    progress.SetTotal(static_cast<std::int64_t>(dirs.size()));
    progress.SetDone(0);
    std::int64_t done = 0;
    for (std::size_t pass = 0; pass < 2; ++pass) {
        while (!order.empty()) {
            const std::size_t d = order.front();
            order.pop_front();
            if (placed[d]) continue;
            const bool orphan = dirs[d].parent == SIZE_MAX || !placed[dirs[d].parent];
            place(d, orphan ? lostItem : dirs[dirs[d].parent].item);
            for (const FoundSet& found : dirs[d].sets) {
                if (!found.set.isDirectory()) file(dirs[d].item, found.set);
            }
            for (std::size_t child : children[d]) order.push_back(child);
            progress.SetDone(++done);
        }
        for (std::size_t d = 0; d < dirs.size(); ++d) {
            if (!placed[d]) order.push_back(d);
        }
    }
    return true;
}

}  // namespace lumacore
