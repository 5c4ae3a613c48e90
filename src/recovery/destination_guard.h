#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/output_guard.h"
#include "platform/source_overlap.h"

namespace lumacore {

// What a recovery reads from: the image file or block device, and the byte range of the partition in it.
struct RecoverySource {
    std::string devicePath;
    std::uint64_t partitionOffset = 0;
    std::uint64_t partitionLength = 0;  // 0 when unknown: then everything from the offset on counts
};

class DeviceMap;
struct PartitionInfo;

// The partition `partition` as a recovery reads it through `devices`.
RecoverySource SourceOf(const DeviceMap& devices, const PartitionInfo& partition);
// Every disk and image `devices` reads: the files a recovery must never open for writing.
std::vector<std::filesystem::path> SourceDrivePaths(const DeviceMap& devices);

// The refusal the user sees when the destination would overwrite what is being recovered.
inline constexpr const char* kSameDriveMessage =
    "The lost files can\u2019t be recovered to the same drive where they were originally located. "
    "Please select another partition.";

// The guard for files written about a recovery from `partition` (saved previews, reports): no file
// system on the partition's range, no drive file of `devices`.
OutputGuard RecoveryOutputGuard(const DeviceMap& devices, const PartitionInfo& partition);

// Checks that `destination` is an existing folder whose file system does not live on the partition
// being read: not on the source device itself, not on a partition of the source disk that overlaps the
// source partition, not on a loop device over an overlapping part of the source image, and not on a
// device stacked (device mapper, md) on any of those. Writing to another partition of the same disk, or
// next to the image on the file system that holds it, is fine. Pseudo and read-only file systems are
// refused too. `sysRoot` is where sysfs is mounted.
Result<void> CheckDestination(const std::filesystem::path& destination, const RecoverySource& source,
                              const std::filesystem::path& sysRoot = "/sys");

}  // namespace lumacore
