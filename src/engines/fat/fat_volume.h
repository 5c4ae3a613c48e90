#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/byte_source.h"
#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/fat/fat_boot_sector.h"
#include "engines/fat/fat_file_node.h"

namespace lumacore {

// A FAT volume on a disk: its boot sector, its first FAT held in memory, and the scans over them.
// The FAT16 engine also reads FAT12 volumes (12-bit entries, chosen by the cluster count).
class CFatVolume {
  public:
    // The largest FAT held in memory: a FAT32 volume has at most 2^28 clusters of 4-byte entries.
    static constexpr std::uint64_t kMaxFatBytes = std::uint64_t{1} << 30;

    virtual ~CFatVolume() = default;

    bool IsOpen() const { return open_; }
    const Error& openError() const { return openError_; }
    const FatGeometry& geometry() const { return geometry_; }
    std::uint32_t EstimatedFileCount() const { return estimatedFileCount_; }
    bool isFat32() const { return fat32_; }

    // When the deleted-file scan looks for the folder clusters its walk could not reach: by default
    // only when it met a deleted folder (a sequential pass over the free clusters costs a read of them).
    enum class OrphanSweep { Never, WhenDeletedFolders, Always };
    OrphanSweep orphanSweep = OrphanSweep::WhenDeletedFolders;

    // Sector range of the formatted-drive scan, relative to the partition.
    std::uint32_t rangeStart = 0;
    std::uint32_t rangeEnd = 0;

    // FAT entry of a cluster; the end-of-chain value for clusters the FAT does not hold.
    std::uint32_t FatEntry(std::uint32_t cluster) const;
    bool EndsChain(std::uint32_t value) const { return value >= geometry_.EndOfChain(); }

    // Walks the directory tree from the root, breadth first, and lists every deleted file and every file
    // inside a deleted folder under its folder in `tree`. True when the walk ended normally (finished or
    // stopped); false when reading a directory failed.
    bool DeletedFileScan(FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                         const StopToken& stop);

    // After a quick format: finds the old directory clusters in the sector range [rangeStart, rangeEnd]
    // by their content, reads each as a folder and lists all its files, live and deleted. Folders whose
    // parent cannot be placed go under "LostDIR"; folders without a known name are called "DIR%d".
    // False when no directory cluster was found or a read failed.
    bool FormattedDriveScan(FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                            const StopToken& stop);

    // The root item the last scan made.
    FatResultTree::ItemId rootItem() const { return rootItem_; }
    // The times of the folders the last deleted-file scan put in the tree, by item (the root has none).
    const std::unordered_map<FatResultTree::ItemId, FatFolderTimes>& folderTimes() const {
        return folderTimes_;
    }

  protected:
    CFatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition, bool fat32);

  private:
    friend class FatScanBase;
    friend class FatDeletedScan;
    friend class FatFormattedScan;
    friend class FatOrphanSweep;
    Result<void> Open();
    void ComputeEstimatedFileCount();
    // Reads `count` bytes at a volume-relative sector.
    Result<void> ReadSectors(std::uint64_t sector, std::span<std::byte> out);

    std::unique_ptr<ByteSource> disk_;
    std::uint64_t volumeOffset_ = 0;  // byte offset of the volume on the disk
    char driveLetter_ = '*';
    bool fat32_ = false;
    bool open_ = false;
    Error openError_;
    FatGeometry geometry_;
    std::vector<std::uint32_t> fat_;  // entries 0 .. clusterCount + 1, widened to 32 bits
    std::uint32_t estimatedFileCount_ = 0;
    FatResultTree::ItemId rootItem_ = FatResultTree::kNoItem;
    std::unordered_map<FatResultTree::ItemId, FatFolderTimes> folderTimes_;
};

class CFat16Volume final : public CFatVolume {
  public:
    CFat16Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
        : CFatVolume(std::move(disk), partition, false) {}
};

class CFat32Volume final : public CFatVolume {
  public:
    CFat32Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
        : CFatVolume(std::move(disk), partition, true) {}
};

// The engine for a volume record: FAT32 for "FAT32" and "#FAT32#", FAT16 (and FAT12) otherwise.
std::unique_ptr<CFatVolume> MakeFatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);
bool IsFat32Record(const PartitionInfo& partition);

}  // namespace lumacore
