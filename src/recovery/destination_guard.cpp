#include "recovery/destination_guard.h"

#include "platform/device_map.h"
#include "platform/image_opener.h"
#include "platform/output_guard.h"

#include "core/partition_info.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace lumacore {

namespace {

namespace fs = std::filesystem;

}  // namespace

Result<void> CheckDestination(const fs::path& destination, const RecoverySource& source,
                              const fs::path& sysRoot) {
    struct stat target {};
    if (::stat(destination.c_str(), &target) != 0) {
        const int code = errno;
        if (code == ENOENT) {
            return Error::Make(ErrorKind::NotFound,
                               "The destination folder " + destination.string() + " does not exist.");
        }
        return Error::Io(
            "Cannot open the destination folder " + destination.string() + ": " + std::strerror(code), code);
    }
    if (!S_ISDIR(target.st_mode)) {
        return Error::Make(ErrorKind::InvalidArgument, destination.string() + " is not a folder.");
    }

    const auto device = DescribeSource(source.devicePath, source.partitionOffset, source.partitionLength);
    if (!device) {
        // Without the source there is no telling what the destination would overwrite.
        const int code = errno;
        return Error::Io("Cannot query " + source.devicePath + ": " + std::strerror(code), code);
    }
    if (WritesOntoSource(target.st_dev, *device, sysRoot)) {
        return Error::Make(ErrorKind::InvalidArgument, kSameDriveMessage);
    }
    return CheckWritableFileSystem(destination);
}

RecoverySource SourceOf(const DeviceMap& devices, const PartitionInfo& partition) {
    return {devices.PhysicalDrivePath(partition.diskNumber), std::uint64_t{partition.startSector} * 512,
            partition.totalBytes};
}

OutputGuard RecoveryOutputGuard(const DeviceMap& devices, const PartitionInfo& partition) {
    const RecoverySource source = SourceOf(devices, partition);
    std::vector<SourceDevice> ranges;
    if (auto device = DescribeSource(source.devicePath, source.partitionOffset, source.partitionLength)) {
        ranges.push_back(std::move(*device));
    }
    return OutputGuard(std::move(ranges), SourceDrivePaths(devices));
}

std::vector<std::filesystem::path> SourceDrivePaths(const DeviceMap& devices) {
    std::vector<std::filesystem::path> paths;
    // Every piece of a split image is the source, not just the one the user named.
    for (int drive = 0; drive < devices.PhysicalDriveCount(); ++drive) {
        for (const std::string& file : ImageFiles(devices.PhysicalDrivePath(drive))) paths.push_back(file);
    }
    return paths;
}

}  // namespace lumacore
