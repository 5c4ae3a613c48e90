#pragma once

#include <cstdint>
#include <vector>

#include "engines/fat/fat_boot_sector.h"
#include "engines/fat/fat_cluster_bitmap.h"
#include "engines/fat/fat_file_node.h"

namespace lumacore {

// Works out where a found file's data lies from the FAT as it is today, so that a deleted file is not
// read through clusters that live files own now.
class FatDataPlanner {
  public:
    // A file is not planned into more pieces than this: real fragmentation stays far below it, while a
    // hostile FAT of alternating free and used clusters could otherwise make one node hold millions.
    static constexpr std::size_t kMaxRuns = 16384;

    // `fat`: the FAT's entries by cluster number. `inUse`: clusters taken today (non-zero FAT entries,
    // plus directory clusters of deleted folders the scan read), one bit per cluster number.
    FatDataPlanner(const FatGeometry& geometry, const std::vector<std::uint32_t>& fat,
                   const FatClusterBitmap& inUse)
        : g_(geometry), fat_(fat), inUse_(inUse) {}

    // Sets the node's runs and data state. A file whose own entry is live follows its FAT chain when
    // the chain is whole and as long as the size asks; any other file takes the free clusters from
    // its first cluster on, stepping over those in use, until its size is reached.
    void Plan(FatFileNode& node) const;

  private:
    bool FollowChain(std::uint32_t first, std::uint64_t clusters, std::vector<FatClusterRun>& runs) const;
    static void Append(std::vector<FatClusterRun>& runs, std::uint32_t cluster);

    const FatGeometry& g_;
    const std::vector<std::uint32_t>& fat_;
    const FatClusterBitmap& inUse_;
};

}  // namespace lumacore
