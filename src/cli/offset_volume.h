#pragma once

#include "cli/arguments.h"
#include "disk/disk_inventory.h"
#include "platform/device_map.h"

namespace lumacore {

// `--offset SECTOR` (on `--disk N`, disk 0 without it): a volume that no partition table names (a lost
// table, a dd of a disk whose table was overwritten), found the way a disk is probed as one volume (an
// EXT superblock, a FAT, NTFS or exFAT boot sector) at that sector instead of at 0. It is added at the
// end of the volume table, so that `disks` shows its index and `--volume` takes it; without `--volume`
// or `--start` the command works on it.
void AddOffsetOption(OptionParser& options);

// Adds the volume at --offset to `inventory` (after Refresh); nothing without the option. An
// InvalidArgument error when the disk or the sector holds no file system there.
Result<void> AddOffsetVolume(CDiskInventory& inventory, const DeviceMap& devices,
                             const OptionParser& options);

}  // namespace lumacore
