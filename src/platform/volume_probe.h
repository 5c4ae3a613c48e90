#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_map.h"

namespace lumacore {

// A volume found on a disk the way the operating system's partition manager finds it: a partition
// (or the whole disk when it has no partition table) holding a FAT12/FAT16/FAT32, NTFS or exFAT file system.
struct ProbedVolume {
    PartitionExtent extent;
    VolumeInformation information;
    std::optional<FreeSpace> freeSpace;
};

// Lists the partitions of the disk or image at `path` with libblkid and identifies the file system of
// each; returns the FAT, NTFS and exFAT ones in partition order.
std::vector<ProbedVolume> ProbeVolumes(const std::string& path);

}  // namespace lumacore
