#include "unit/fake_device_map.h"

namespace lumacore::testing {

std::vector<std::byte>& FakeDeviceMap::AddDisk(std::size_t sectors, std::string product) {
    Disk d;
    d.bytes = std::make_shared<std::vector<std::byte>>(sectors * 512);
    d.product = std::move(product);
    disks_.push_back(d);
    return *disks_.back().bytes;
}

Result<std::unique_ptr<BlockDevice>> FakeDeviceMap::OpenPhysicalDrive(int drive, AccessMode) const {
    if (drive < 0 || drive >= PhysicalDriveCount()) return Error::Make(ErrorKind::NotFound, "no drive");
    if (disks_[drive].accessDenied) return Error::Make(ErrorKind::AccessDenied, "denied");
    return std::unique_ptr<BlockDevice>(new MemoryDevice(disks_[drive].bytes));
}

Result<std::vector<std::byte>> FakeDeviceMap::QueryStorageDescriptor(int drive) const {
    if (drive < 0 || drive >= PhysicalDriveCount()) return Error::Make(ErrorKind::NotFound, "no drive");
    const Disk& d = disks_[drive];
    return BuildStorageDescriptor(d.vendor, d.product, d.removable, d.busType, d.deviceType);
}

std::uint64_t FakeDeviceMap::QueryDiskLength(int drive) const {
    if (drive < 0 || drive >= PhysicalDriveCount()) return 0;
    return disks_[drive].bytes->size();
}

std::vector<char> FakeDeviceMap::VolumeLetters() const {
    std::vector<char> letters;
    for (const auto& entry : volumes_) letters.push_back(entry.first);
    return letters;
}

std::optional<VolumeInformation> FakeDeviceMap::GetVolumeInformation(char letter) const {
    const auto it = volumes_.find(letter);
    if (it == volumes_.end()) return std::nullopt;
    return it->second.information;
}

std::optional<FreeSpace> FakeDeviceMap::GetDiskFreeSpace(char letter) const {
    const auto it = volumes_.find(letter);
    if (it == volumes_.end()) return std::nullopt;
    return it->second.space;
}

std::optional<PartitionExtent> FakeDeviceMap::QueryPartitionInfo(char letter) const {
    const auto it = volumes_.find(letter);
    if (it == volumes_.end()) return std::nullopt;
    return it->second.extent;
}

int FakeDeviceMap::DiskOfVolume(char letter) const {
    const auto it = volumes_.find(letter);
    return it == volumes_.end() ? -1 : it->second.disk;
}

void PutEntry(std::vector<std::byte>& disk, std::uint64_t tableSector, int index, std::uint8_t type,
              std::uint32_t start, std::uint32_t count) {
    const std::uint64_t at = tableSector * 512 + 0x1BE + static_cast<std::uint64_t>(index) * 16;
    disk[at + 4] = static_cast<std::byte>(type);
    PutU32(disk, at + 8, start);
    PutU32(disk, at + 12, count);
    PutU16(disk, tableSector * 512 + 0x1FE, 0xAA55);
}

void PutBytes(std::vector<std::byte>& disk, std::uint64_t offset, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) disk[offset + i] = static_cast<std::byte>(text[i]);
}

void PutU16(std::vector<std::byte>& disk, std::uint64_t offset, std::uint16_t value) {
    disk[offset] = static_cast<std::byte>(value & 0xFF);
    disk[offset + 1] = static_cast<std::byte>(value >> 8);
}

void PutU32(std::vector<std::byte>& disk, std::uint64_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) disk[offset + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

}  // namespace lumacore::testing
