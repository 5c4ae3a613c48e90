#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/byte_source.h"
#include "core/result.h"
#include "engines/exfat/exfat_boot_region.h"
#include "engines/exfat/exfat_upcase.h"

namespace lumacore {

// A stretch of consecutive clusters.
struct ExfatClusterRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// What an exFAT volume's metadata says about its clusters: the geometry from the boot region, the
// active FAT and allocation bitmap held in memory, and the up-case table. Scans and the found-file
// reader share it; it never reads the disk after Load.
class ExfatLayout {
  public:
    // The largest FAT held in memory: 2^28 clusters of 4-byte entries, far more than any card needs.
    static constexpr std::uint32_t kMaxClusters = 1u << 28;
    // A directory is at most 256 MiB long.
    static constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{256} << 20;

    ExfatLayout() = default;

    // Reads the boot region (main, else backup), the active FAT, and from the root directory the
    // allocation bitmap and the up-case table. A volume whose root names no readable bitmap still
    // loads: then every cluster counts as free.
    static Result<ExfatLayout> Load(ByteSource& disk, std::uint64_t volumeOffset);

    const ExfatGeometry& geometry() const { return geometry_; }
    std::uint64_t volumeOffset() const { return volumeOffset_; }
    const ExfatUpcaseTable& upcase() const { return upcase_; }
    bool hasBitmap() const { return !bitmap_.empty(); }

    // The FAT entry of a cluster; the end-of-chain mark for clusters the FAT does not hold.
    std::uint32_t FatEntry(std::uint32_t cluster) const;
    // Whether the bitmap marks a cluster in use (false without a bitmap or outside the heap).
    bool InUse(std::uint32_t cluster) const;
    void MarkInUse(std::uint32_t cluster);

    // The clusters that hold `bytes` bytes of a file in use: consecutive ones from `first` when
    // `noFatChain`, else along the FAT. Never more clusters than the bytes need; a chain that ends
    // early, loops or leaves the heap gives fewer.
    std::vector<ExfatClusterRun> LiveRuns(std::uint32_t first, std::uint64_t bytes, bool noFatChain) const;
    // The clusters a deleted file most likely had: consecutive ones for `noFatChain` (its data came back
    // exactly as written); else the FAT chain when it is still whole and lies in free clusters, and
    // otherwise the first cluster and then the next free ones, skipping those the bitmap marks in use.
    std::vector<ExfatClusterRun> DeletedRuns(std::uint32_t first, std::uint64_t bytes, bool noFatChain) const;

    // The FAT chain some writers leave behind for a deleted file: given only when it is exactly as long
    // as the data, ends with the end-of-chain mark and every cluster after the first is free; else empty.
    std::vector<ExfatClusterRun> IntactDeletedChain(std::uint32_t first, std::uint64_t bytes) const;

    // Reads whole runs, in order, into one buffer of at most `maxBytes` bytes.
    Result<std::vector<std::byte>> ReadRuns(ByteSource& disk, const std::vector<ExfatClusterRun>& runs,
                                            std::uint64_t maxBytes) const;

    std::uint64_t ClustersFor(std::uint64_t bytes) const;

  private:
    Result<void> LoadFat(ByteSource& disk);
    void LoadRootTables(ByteSource& disk);

    ExfatGeometry geometry_;
    std::uint64_t volumeOffset_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint8_t> bitmap_;
    ExfatUpcaseTable upcase_;
};

// Appends a cluster to a run list, extending the last run when it follows on.
void AppendCluster(std::vector<ExfatClusterRun>& runs, std::uint32_t cluster);

}  // namespace lumacore
