#include "engines/fat/fat_scan_base.h"

#include "core/size_text.h"

namespace lumacore {

FatScanBase::FatScanBase(CFatVolume& volume, FatResultTree& tree, const FilterSettings& filter,
                         ProgressFields& progress, const StopToken& stop)
    : volume_(volume),
      g_(volume.geometry_),
      tree_(tree),
      filter_(filter),
      progress_(progress),
      stop_(stop),
      currentYear_(CurrentLocalYear()),
      entries_(g_, currentYear_) {}

FatResultTree::ItemId FatScanBase::InsertRoot() {
    const char* rootFormat = g_.kind == FatKind::Fat32 ? "FAT32 - Logical Disk (%c:)" : "FAT16 - Logical Disk (%c:)";
    const FatResultTree::ItemId root = tree_.InsertLast(FatResultTree::kNoItem, Format(rootFormat, volume_.driveLetter_));
    volume_.rootItem_ = root;
    return root;
}

}  // namespace lumacore
