#include "engines/fat/fat_data_plan.h"

namespace lumacore {

void FatDataPlanner::Append(std::vector<FatClusterRun>& runs, std::uint32_t cluster) {
    if (!runs.empty() && std::uint64_t{runs.back().first} + runs.back().count == cluster) {
        ++runs.back().count;
    } else {
        runs.push_back({cluster, 1});
    }
}

bool FatDataPlanner::FollowChain(std::uint32_t first, std::uint64_t clusters,
                                 std::vector<FatClusterRun>& runs) const {
    std::uint64_t taken = 0;
    for (std::uint32_t cluster = first;;) {
        // The walk is bounded by the size: a chain longer than the file, or one that loops, is not its own.
        if (!g_.IsDataCluster(cluster) || taken == clusters) return false;
        Append(runs, cluster);
        if (runs.size() > kMaxRuns) return false;
        ++taken;
        const std::uint32_t next = cluster < fat_.size() ? fat_[cluster] : 0;
        if (next >= g_.EndOfChain()) return taken == clusters;
        cluster = next;
    }
}

void FatDataPlanner::Plan(FatFileNode& node) const {
    node.runs.clear();
    const std::uint64_t clusterBytes = g_.ClusterBytes();
    const std::uint64_t clusters = (std::uint64_t{node.size} + clusterBytes - 1) / clusterBytes;
    if (clusters == 0) {
        node.dataState = FatDataState::Intact;
        return;
    }
    if (!g_.IsDataCluster(node.firstCluster)) {
        node.dataState = FatDataState::Short;
        return;
    }
    if (!node.deleted) {
        std::vector<FatClusterRun> chain;
        if (FollowChain(node.firstCluster, clusters, chain)) {
            node.dataState = FatDataState::Intact;
            if (chain.size() > 1) node.runs = std::move(chain);
            return;
        }
    }
    if (inUse_.test(node.firstCluster)) {
        // Another file owns the start now; the consecutive read is all that is left to offer.
        node.dataState = FatDataState::Overwritten;
        return;
    }

    std::vector<FatClusterRun> runs;
    std::uint64_t found = 0;
    const std::uint64_t end = std::uint64_t{g_.clusterCount} + 2;
    for (std::uint64_t cluster = node.firstCluster; found < clusters; ++cluster) {
        cluster = inUse_.NextClear(cluster);
        if (cluster >= end) break;
        Append(runs, static_cast<std::uint32_t>(cluster));
        if (runs.size() > kMaxRuns) {
            runs.pop_back();
            break;
        }
        ++found;
    }
    if (found < clusters) {
        node.dataState = FatDataState::Short;
        node.runs = std::move(runs);
        return;
    }
    node.dataState = runs.size() == 1 ? FatDataState::Intact : FatDataState::Skipped;
    if (runs.size() > 1) node.runs = std::move(runs);
}

}  // namespace lumacore
