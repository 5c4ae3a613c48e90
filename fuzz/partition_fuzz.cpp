// Fuzz target: a disk of arbitrary bytes (padded to whole sectors) through the partition-table walk,
// the extended-chain walk and the inventory's merge, then the lost-partition search (Auto Scan and the
// deep search) and the planning of a restore of every candidate. With the first byte odd, the rest is
// also read as a partition backup of that disk (its records run through the same restore planning), and
// as a backup file of its own, header included.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/byte_reader.h"
#include "disk/disk_inventory.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
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

// A backup file in memory, reachable by a path as LoadBackup wants one.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("backup", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~MemoryFile() { ::close(fd_); }
    const std::string& Fill(const std::string& bytes) {
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
            std::abort();
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

void PlanEach(const CDiskInventory& inventory, const DeviceMap& map, const PartitionList& candidates) {
    for (const PartitionInfo& candidate : candidates) {
        const RestorePlan plan = PlanRestore(inventory, map, 0, candidate);
        // A plan never writes outside the disk.
        for (const SectorWrite& write : plan.writes) {
            if ((std::uint64_t{write.sector} + 1) * 512 > map.QueryDiskLength(0)) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool backupMode = size > 0 && (data[0] & 1) != 0;
    auto bytes = std::make_shared<std::vector<std::byte>>((size + 511) / 512 * 512);
    if (size > 0) std::memcpy(bytes->data(), data, size);
    OneDiskMap map(bytes);
    CDiskInventory inventory(map);
    inventory.Refresh();
    if (inventory.disks.empty()) return 0;

    PartitionList candidates;
    (void)AutoScan(inventory, map, 0, candidates);
    PlanEach(inventory, map, candidates);
    ProgressFields progress;
    StopToken stop;
    if (auto deep = DeepScan(inventory, map, 0, progress, stop)) PlanEach(inventory, map, *deep);

    if (backupMode) {
        static MemoryFile file;
        const DiskInfo& disk = inventory.disks[0];
        std::string backup(4, '\0');
        std::array<std::byte, 4> magic{};
        PutLe(magic, 0, kBackupMagic, 4);
        std::memcpy(backup.data(), magic.data(), 4);
        const auto record = disk.Serialize();
        backup.append(reinterpret_cast<const char*>(record.data()), record.size());
        backup.append(reinterpret_cast<const char*>(data + 1), size - 1);
        if (auto loaded = LoadBackup(file.Fill(backup), disk)) PlanEach(inventory, map, *loaded);
        (void)LoadBackup(file.Fill(std::string(reinterpret_cast<const char*>(data + 1), size - 1)), disk);
    }
    return 0;
}
