#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/device.h"

namespace lumacore {

// What the operating system's volume list says about a volume with a letter.
struct VolumeInformation {
    std::string fileSystemName;  // "FAT" (FAT12/FAT16), "FAT32" or "NTFS"
    std::string label;
};

struct FreeSpace {
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint64_t freeClusters = 0;
    std::uint64_t totalClusters = 0;
};

struct PartitionExtent {
    std::uint64_t startingOffset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;          // bytes
};

// Decides what "physical drive N" and "volume letter X" mean on this system and answers the device
// queries the disk inventory makes. It is the one seam another platform's backend replaces.
//
// The storage descriptor is the answer of the storage-property query laid out as storage drivers lay
// it out: version byte 0x28 at 0, device type at 8, removable flag at 10, vendor text offset at 12
// (0 = none), product text offset at 16, bus type at 28, texts NUL-terminated further on.
class DeviceMap {
public:
    virtual ~DeviceMap() = default;

    // Physical drives are numbered 0 .. PhysicalDriveCount() - 1.
    virtual int PhysicalDriveCount() const = 0;
    virtual std::string PhysicalDrivePath(int drive) const = 0;
    virtual Result<std::unique_ptr<BlockDevice>> OpenPhysicalDrive(int drive, AccessMode mode) const = 0;
    virtual Result<std::vector<std::byte>> QueryStorageDescriptor(int drive) const = 0;
    // True length in bytes (not rounded to whole cylinders); 0 when it cannot be told.
    virtual std::uint64_t QueryDiskLength(int drive) const = 0;

    // Volumes that the system would give a letter, in letter order.
    virtual std::vector<char> VolumeLetters() const = 0;
    virtual std::optional<VolumeInformation> GetVolumeInformation(char letter) const = 0;
    virtual std::optional<FreeSpace> GetDiskFreeSpace(char letter) const = 0;
    virtual std::optional<PartitionExtent> QueryPartitionInfo(char letter) const = 0;
    // The physical drive that holds the volume, -1 when unknown.
    virtual int DiskOfVolume(char letter) const = 0;
    // Forgets what it knows of the volumes, after a partition table was written, so that the next
    // question finds a restored volume and gives it its letter. Only while no volume answer is in use.
    virtual void ForgetVolumes() const {}
};

// Lays out a storage descriptor as described above. An empty vendor gives a vendor offset of 0.
std::vector<std::byte> BuildStorageDescriptor(const std::string& vendor, const std::string& product,
                                              bool removable, std::uint32_t busType, std::uint8_t deviceType = 0);

}  // namespace lumacore
