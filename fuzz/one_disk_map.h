// What the partition fuzz targets share: one disk of the fuzzer's bytes, and the planning of a restore
// of every candidate (which must never write outside the disk).
#pragma once

#include <cstdlib>
#include <memory>
#include <vector>

#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "platform/device.h"
#include "platform/device_map.h"

namespace lumacore {

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
    std::optional<VolumeInformation> GetVolumeInformation(char) const override {
        return VolumeInformation{"FAT32", ""};
    }
    std::optional<FreeSpace> GetDiskFreeSpace(char) const override { return FreeSpace{8, 512, 1, 2}; }
    std::optional<PartitionExtent> QueryPartitionInfo(char) const override {
        return PartitionExtent{63 * 512, 1 << 20};
    }
    int DiskOfVolume(char) const override { return 0; }

  private:
    std::shared_ptr<std::vector<std::byte>> bytes_;
};

inline void PlanEach(const CDiskInventory& inventory, const DeviceMap& map, const PartitionList& candidates) {
    for (const PartitionInfo& candidate : candidates) {
        const RestorePlan plan = PlanRestore(inventory, map, 0, candidate);
        // A plan never writes outside the disk.
        for (const SectorWrite& write : plan.writes) {
            if ((std::uint64_t{write.sector} + 1) * 512 > map.QueryDiskLength(0)) std::abort();
        }
    }
}

// The walk, both searches and the planning of every candidate's restore; the inventory it walked.
inline std::unique_ptr<CDiskInventory> SearchAndPlan(const DeviceMap& map) {
    auto inventory = std::make_unique<CDiskInventory>(map);
    inventory->Refresh();
    if (inventory->disks.empty()) return inventory;
    PartitionList candidates;
    (void)AutoScan(*inventory, map, 0, candidates);
    PlanEach(*inventory, map, candidates);
    ProgressFields progress;
    StopToken stop;
    if (auto deep = DeepScan(*inventory, map, 0, progress, stop)) PlanEach(*inventory, map, *deep);
    return inventory;
}

}  // namespace lumacore
