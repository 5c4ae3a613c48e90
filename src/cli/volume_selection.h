#pragma once

#include <string>

#include "cli/arguments.h"
#include "core/partition_info.h"
#include "disk/disk_inventory.h"
#include "session/fat_scan.h"

namespace lumacore {

// The volume record a command works on: `--volume I` (the index `disks` prints) or
// `--disk N --start SECTOR`. Registers those options, and the scan range's `--end`, on the parser.
void AddVolumeOptions(OptionParser& options);
Result<PartitionInfo> SelectVolume(const CDiskInventory& inventory, const OptionParser& options);

// The scan range of a formatted-drive or signature scan, as absolute sectors on the disk: `--start S`
// (only together with `--volume`; with `--disk` it picks the volume) and `--end E`, made relative to the
// volume and checked to lie inside it.
Result<SectorRange> ScanRangeFromOptions(const OptionParser& options, const PartitionInfo& volume);

// Parses a whole unsigned decimal number; false on anything else.
bool ParseUnsigned(const std::string& text, std::uint64_t& value);

}  // namespace lumacore
