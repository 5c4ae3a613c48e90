#pragma once

#include "core/filter_settings.h"
#include "core/progress.h"
#include "engines/fat/fat_entry_reader.h"
#include "engines/fat/fat_volume.h"

namespace lumacore {

// What the deleted-file and the formatted-drive scans of a FAT volume share: the volume and its
// geometry, the tree they fill, the filter, progress and stop token, and the entry reader.
class FatScanBase {
protected:
    FatScanBase(CFatVolume& volume, FatResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                const StopToken& stop);

    // Inserts the tree's root, "FAT16 - Logical Disk (%c:)" or "FAT32 - Logical Disk (%c:)", and makes
    // it the volume's root item.
    FatResultTree::ItemId InsertRoot();

    CFatVolume& volume_;
    const FatGeometry& g_;
    FatResultTree& tree_;
    const FilterSettings& filter_;
    ProgressFields& progress_;
    const StopToken& stop_;
    const int currentYear_;
    FatEntryReader entries_;
};

}  // namespace lumacore
