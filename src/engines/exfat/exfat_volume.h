#pragma once

#include <cstdint>
#include <memory>

#include "core/byte_source.h"
#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/exfat/exfat_layout.h"

namespace lumacore {

// An exFAT volume on a disk: its boot region, active FAT, allocation bitmap and up-case table held in
// memory, and the scans over them.
class CExfatVolume {
  public:
    CExfatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    bool IsOpen() const { return open_; }
    const Error& openError() const { return openError_; }
    const ExfatLayout& layout() const { return layout_; }

    // Sector range of the formatted-drive scan, relative to the partition, in the volume's sectors.
    std::uint64_t rangeStart = 0;
    std::uint64_t rangeEnd = 0;
    // Whether the deleted-file scan ends with a pass over the free clusters for directories of
    // deleted folders that no entry leads to any more.
    bool searchOrphanDirectories = true;

    // Walks the directory tree from the root, breadth first, and lists every deleted file and every file
    // inside a deleted folder under its folder in `tree`; then (unless stopped) lists the files of
    // orphan directory clusters under "Lost Files". True when the walk ended normally (finished or
    // stopped); false when reading a live directory failed.
    bool DeletedFileScan(ExfatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                         const StopToken& stop);

    // After a quick format: finds the old directory clusters in the sector range [rangeStart, rangeEnd]
    // by their entry sets, rebuilds the folders from the folder entries that name them and lists all
    // their files, live and deleted. Folders whose parent cannot be placed go under "LostDIR", folders
    // without a known name are called "DIR%d". False when no directory cluster was found or a read failed.
    bool FormattedDriveScan(ExfatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                            const StopToken& stop);

    // The root item the last scan made.
    ExfatResultTree::ItemId rootItem() const { return rootItem_; }

  private:
    friend class ExfatScanBase;

    std::unique_ptr<ByteSource> disk_;
    char driveLetter_ = '*';
    bool open_ = false;
    Error openError_;
    ExfatLayout layout_;
    ExfatResultTree::ItemId rootItem_ = ExfatResultTree::kNoItem;
};

// True for the inventory's names of an exFAT volume.
bool IsExfatRecord(const PartitionInfo& partition);

}  // namespace lumacore
