#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_map.h"

namespace lumacore {

// The device map of a Linux system: attached disk-image files are physical drives 0, 1, ... in the
// order given; the real whole-disk block devices follow unless left out. Every FAT or NTFS volume on
// them gets a letter from 'C' on, in drive and partition order, as the system's volume list would.
class SystemDeviceMap final : public DeviceMap {
public:
    struct Options {
        std::vector<std::string> images;
        bool includeBlockDevices = true;
        std::string sysRoot = "/sys";
    };

    // Fails, naming the file, when an image is missing or cannot be read.
    static Result<std::unique_ptr<SystemDeviceMap>> Create(const Options& options);

    // Image paths from a colon-separated list (the LUMACORE_IMAGES environment variable).
    static std::vector<std::string> SplitImageList(const std::string& list);

    int PhysicalDriveCount() const override { return static_cast<int>(drives_.size()); }
    std::string PhysicalDrivePath(int drive) const override;
    Result<std::unique_ptr<BlockDevice>> OpenPhysicalDrive(int drive, AccessMode mode) const override;
    Result<std::vector<std::byte>> QueryStorageDescriptor(int drive) const override;
    std::uint64_t QueryDiskLength(int drive) const override;

    std::vector<char> VolumeLetters() const override;
    std::optional<VolumeInformation> GetVolumeInformation(char letter) const override;
    std::optional<FreeSpace> GetDiskFreeSpace(char letter) const override;
    std::optional<PartitionExtent> QueryPartitionInfo(char letter) const override;
    int DiskOfVolume(char letter) const override;
    void ForgetVolumes() const override;

private:
    struct Drive {
        std::string path;
        std::string vendor;
        std::string product;
        bool removable = false;
        std::uint32_t busType = 0;
    };
    struct LetteredVolume {
        int drive = -1;
        PartitionExtent extent;
        VolumeInformation information;
        std::optional<FreeSpace> freeSpace;
    };

    SystemDeviceMap() = default;
    const LetteredVolume* FindVolume(char letter) const;
    void ProbeVolumesOnce() const;

    std::vector<Drive> drives_;
    mutable std::mutex probeMutex_;
    mutable bool probed_ = false;
    mutable std::map<char, LetteredVolume> volumes_;
};

}  // namespace lumacore
