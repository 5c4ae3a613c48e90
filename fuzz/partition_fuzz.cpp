// Fuzz target: a disk of arbitrary bytes (padded to whole sectors) through the partition-table walk,
// the extended-chain walk and the inventory's merge.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "disk/disk_inventory.h"
#include "platform/device_map.h"

using namespace lumacore;

namespace {

class OneDiskMap final : public DeviceMap {
public:
    explicit OneDiskMap(std::shared_ptr<std::vector<std::byte>> bytes) : bytes_(std::move(bytes)) {}
    int PhysicalDriveCount() const override { return 1; }
    std::string PhysicalDrivePath(int) const override { return "fuzz"; }
    Result<std::unique_ptr<BlockDevice>> OpenPhysicalDrive(int drive, AccessMode) const override {
        if (drive != 0) return Error::Make(ErrorKind::NotFound, "no drive");
        return std::unique_ptr<BlockDevice>(new MemoryDevice(bytes_));
    }
    Result<std::vector<std::byte>> QueryStorageDescriptor(int) const override {
        return BuildStorageDescriptor("", "Fuzz", false, 0);
    }
    std::uint64_t QueryDiskLength(int) const override { return bytes_->size(); }
    std::vector<char> VolumeLetters() const override { return {'C'}; }
    std::optional<VolumeInformation> GetVolumeInformation(char) const override { return VolumeInformation{"FAT32", ""}; }
    std::optional<FreeSpace> GetDiskFreeSpace(char) const override { return FreeSpace{8, 512, 1, 2}; }
    std::optional<PartitionExtent> QueryPartitionInfo(char) const override { return PartitionExtent{63 * 512, 1 << 20}; }
    int DiskOfVolume(char) const override { return 0; }

private:
    std::shared_ptr<std::vector<std::byte>> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::make_shared<std::vector<std::byte>>((size + 511) / 512 * 512);
    if (size > 0) std::memcpy(bytes->data(), data, size);
    OneDiskMap map(bytes);
    CDiskInventory inventory(map);
    inventory.Refresh();
    return 0;
}
