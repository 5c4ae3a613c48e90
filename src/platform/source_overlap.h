#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace lumacore {

// A file's identity on this machine, links followed.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// True when both paths name the same existing file (same device and inode, links followed).
bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A disk or image being read, and the byte range of it that nothing may be written onto.
struct SourceDevice {
    bool isBlockDevice = false;
    std::uint64_t device = 0;             // the block device's number (st_rdev), when it is one
    std::filesystem::path canonicalPath;  // what a loop device's backing_file is compared with
    std::uint64_t partitionOffset = 0;
    std::uint64_t partitionLength = 0;  // 0: to the end
};

// The source at `path` (links followed); empty when it cannot be queried.
std::optional<SourceDevice> DescribeSource(const std::filesystem::path& path, std::uint64_t offset = 0,
                                           std::uint64_t length = 0);

// True when a file system on block device `destinationDevice` (an st_dev) would be written onto the
// source's range: the source device itself, a partition of it that overlaps the range, a loop device
// over an overlapping part of the source image, or a device-mapper/md device stacked on any of those.
// `sysRoot` is where sysfs is mounted.
bool WritesOntoSource(std::uint64_t destinationDevice, const SourceDevice& source,
                      const std::filesystem::path& sysRoot);

}  // namespace lumacore
