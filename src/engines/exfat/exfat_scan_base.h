#pragma once

#include <string>

#include "core/filter_settings.h"
#include "core/progress.h"
#include "engines/exfat/exfat_volume.h"

namespace lumacore {

// What the deleted-file and formatted-drive scans of an exFAT volume share: the volume and its layout,
// the tree they fill, the filter, progress and stop token, and how a found file joins a folder.
class ExfatScanBase {
  protected:
    ExfatScanBase(CExfatVolume& volume, ExfatResultTree& tree, const FilterSettings& filter,
                  ProgressFields& progress, const StopToken& stop)
        : volume_(volume),
          layout_(volume.layout_),
          tree_(tree),
          filter_(filter),
          progress_(progress),
          stop_(stop) {}

    // Inserts the tree's root, "exFAT - Logical Disk (%c:)", and makes it the volume's root item.
    ExfatResultTree::ItemId InsertRoot();
    // Lists a file under a folder item when it passes the filter; true when it was listed.
    bool AddFile(ExfatResultTree::ItemId folder, const ExfatEntrySet& set);
    // Removes folders with nothing found below them, then selects and expands the root when it kept any.
    void PruneAndSelect(ExfatResultTree::ItemId root);
    ByteSource& disk() { return *volume_.disk_; }

    CExfatVolume& volume_;
    const ExfatLayout& layout_;
    ExfatResultTree& tree_;
    const FilterSettings& filter_;
    ProgressFields& progress_;
    const StopToken& stop_;
    std::uint64_t acceptedFiles_ = 0;
};

}  // namespace lumacore
