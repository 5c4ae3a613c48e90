#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/fat/fat_cluster_bitmap.h"
#include "engines/fat/fat_name_seams.h"
#include "engines/fat/fat_scan_base.h"

namespace lumacore {

// What the deleted-file walk learned that the orphan sweep needs.
struct FatWalkRecord {
    explicit FatWalkRecord(std::uint64_t clusterNumbers) : directoryClusters(clusterNumbers) {}

    FatClusterBitmap directoryClusters;  // every cluster the walk read as part of a folder
    std::unordered_map<std::uint32_t, FatResultTree::ItemId> folderByCluster;  // first cluster -> item
    // The cluster right after the data of a file in a deleted folder -> that folder's item: a folder
    // that grows while files are written into it gets its next cluster right there.
    std::unordered_map<std::uint32_t, FatResultTree::ItemId> deletedDataEnds;
    // Deleted folders whose last cluster read ends with pieces of a long name cut at that cluster.
    std::vector<std::pair<FatResultTree::ItemId, FatEntryReader::NameSeam>> trailingSeams;
    // Deleted folders whose last cluster read is full to its last entry, so more of them must follow:
    // (that cluster, the folder's item).
    std::vector<std::pair<std::uint32_t, FatResultTree::ItemId>> fullEnds;
    bool sawDeletedFolder = false;
};

// Finds the directory clusters of deleted folders that the walk could not reach (a deleted folder's
// chain is gone, so only its first cluster, and those right after it, are found by the walk), in one
// sequential pass over the free clusters of the data region. Each is attached to its folder: a folder's
// first cluster by its ".." entry, a later cluster by the subfolders it names or by the file whose data
// ends right before it; what cannot be placed goes under "Lost Files".
class FatOrphanSweep : FatScanBase {
  public:
    // A run of directory clusters read at once is never longer than the largest folder (65,536 entries).
    static constexpr std::uint64_t kMaxFolderBytes = std::uint64_t{65536} * 32;
    // Runs beyond this many are not collected: more folder pieces than a volume of a million folders
    // has means the free space is full of entry-like data, and each run costs memory until placed.
    static constexpr std::size_t kMaxRuns = 1 << 20;

    FatOrphanSweep(CFatVolume& volume, FatResultTree& tree, const FilterSettings& filter,
                   ProgressFields& progress, const StopToken& stop, FatWalkRecord& walk,
                   FatResultTree::ItemId root)
        : FatScanBase(volume, tree, filter, progress, stop), walk_(walk), root_(root) {}

    // False when a read failed; the tree then holds what was placed before. `acceptedFiles` counts on.
    bool Run(std::uint64_t& acceptedFiles);

  private:
    struct SubfolderEntry {
        std::uint32_t cluster = 0;
        std::string name;
    };
    struct OrphanRun {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        bool dotted = false;  // begins with "." and "..": the first cluster of a folder
        std::uint32_t dotdot = 0;
        std::string name;
        FileNodeList files;
        std::vector<SubfolderEntry> subfolders;
        FatEntryReader::NameSeam leading;
        FatEntryReader::NameSeam trailing;
        bool leadsWithFile = false;  // the entry the leading pieces name is a file (else a folder)
        bool endsFull = false;       // its last entry is in use: the folder goes on in a later cluster
        // Where it belongs: a tree item, or another run (its folder, or the cluster it continues).
        FatResultTree::ItemId linkItem = FatResultTree::kNoItem;
        std::size_t linkRun = SIZE_MAX;
        FatResultTree::ItemId item = FatResultTree::kNoItem;  // the folder it lists its files in
        std::uint64_t seamOwner = FatNameSeams::kNone;        // a run index, or kWalkedOwner + item
        bool visiting = false;
    };
    static constexpr std::uint64_t kWalkedOwner = std::uint64_t{1} << 40;

    bool FindRuns();
    bool ReadRun(OrphanRun& run);
    void MendCutNames();
    void Link();
    void LinkToNearestFullEnd();
    void Place(std::size_t index);
    FatResultTree::ItemId LostFiles();
    bool IsRootCluster(std::uint32_t cluster) const;
    std::uint32_t EntryCluster(const FatDirEntry& entry) const;

    FatWalkRecord& walk_;
    FatResultTree::ItemId root_;
    FatResultTree::ItemId lostFiles_ = FatResultTree::kNoItem;
    std::vector<OrphanRun> runs_;
    std::unordered_map<std::uint32_t, std::size_t> runByFirst_;
    std::uint64_t lostCounter_ = 0;
};

}  // namespace lumacore
