#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_map.h"

namespace lumacore::testing {

// Disks held in memory, with the descriptor and volume answers a test sets up.
class FakeDeviceMap final : public DeviceMap {
public:
    struct Disk {
        std::shared_ptr<std::vector<std::byte>> bytes;
        std::string vendor;
        std::string product = "Test Disk";
        std::uint8_t deviceType = 0;
        bool removable = false;
        std::uint32_t busType = 11;
        bool accessDenied = false;
    };
    struct Volume {
        int disk = 0;
        VolumeInformation information;
        FreeSpace space;
        PartitionExtent extent;
    };

    // Adds a zeroed disk of `sectors` 512-byte sectors and returns its bytes.
    std::vector<std::byte>& AddDisk(std::size_t sectors, std::string product = "Test Disk");
    Disk& disk(int i) { return disks_.at(static_cast<std::size_t>(i)); }
    void AddVolume(char letter, Volume volume) { volumes_[letter] = std::move(volume); }

    int PhysicalDriveCount() const override { return static_cast<int>(disks_.size()); }
    std::string PhysicalDrivePath(int drive) const override { return "fake" + std::to_string(drive); }
    Result<std::unique_ptr<BlockDevice>> OpenPhysicalDrive(int drive, AccessMode mode) const override;
    Result<std::vector<std::byte>> QueryStorageDescriptor(int drive) const override;
    std::uint64_t QueryDiskLength(int drive) const override;
    std::vector<char> VolumeLetters() const override;
    std::optional<VolumeInformation> GetVolumeInformation(char letter) const override;
    std::optional<FreeSpace> GetDiskFreeSpace(char letter) const override;
    std::optional<PartitionExtent> QueryPartitionInfo(char letter) const override;
    int DiskOfVolume(char letter) const override;

private:
    std::vector<Disk> disks_;
    std::map<char, Volume> volumes_;
};

// Byte-building helpers for partition tables.
void PutEntry(std::vector<std::byte>& disk, std::uint64_t tableSector, int index, std::uint8_t type,
              std::uint32_t start, std::uint32_t count);
void PutBytes(std::vector<std::byte>& disk, std::uint64_t offset, const std::string& text);
void PutU16(std::vector<std::byte>& disk, std::uint64_t offset, std::uint16_t value);
void PutU32(std::vector<std::byte>& disk, std::uint64_t offset, std::uint32_t value);

}  // namespace lumacore::testing
