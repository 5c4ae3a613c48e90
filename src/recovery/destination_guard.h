#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"

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

// Checks that `destination` is an existing folder whose file system does not live on the partition
// being read: not on the source device itself, not on a partition of the source disk that overlaps the
// source partition, not on a loop device over an overlapping part of the source image, and not on a
// device stacked (device mapper, md) on any of those. Writing to another partition of the same disk, or
// next to the image on the file system that holds it, is fine. `sysRoot` is where sysfs is mounted.
Result<void> CheckDestination(const std::filesystem::path& destination, const RecoverySource& source,
                              const std::filesystem::path& sysRoot = "/sys");

// The source as CheckDestination compares it.
struct SourceDevice {
    bool isBlockDevice = false;
    std::uint64_t device = 0;             // the block device's number (st_rdev), when it is one
    std::filesystem::path canonicalPath;  // what a loop device's backing_file is compared with
    std::uint64_t partitionOffset = 0;
    std::uint64_t partitionLength = 0;
};

// The device-number half of CheckDestination: true when a file system on block device
// `destinationDevice` (an st_dev) would be written onto the source partition.
bool WritesOntoSource(std::uint64_t destinationDevice, const SourceDevice& source,
                      const std::filesystem::path& sysRoot);

// A file's identity on this machine, links followed.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// True when both paths name the same existing file (same device and inode, links followed).
bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace lumacore
