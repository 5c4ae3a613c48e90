#include "disk/disk_inventory.h"

#include <cstdlib>

#include "disk/storage_descriptor.h"

namespace lumacore {

std::uint32_t CDiskInventory::LastEbrSector(int diskNumber) const {
    if (diskNumber < 0 || static_cast<std::size_t>(diskNumber) >= lastEbrSector_.size()) return kNoExtendedChain;
    return lastEbrSector_[static_cast<std::size_t>(diskNumber)];
}

void CDiskInventory::SetLastEbrSector(int diskNumber, std::uint32_t sector) {
    if (diskNumber < 0) return;
    if (static_cast<std::size_t>(diskNumber) >= lastEbrSector_.size()) {
        lastEbrSector_.resize(static_cast<std::size_t>(diskNumber) + 1, kNoExtendedChain);
    }
    lastEbrSector_[static_cast<std::size_t>(diskNumber)] = sector;
}

void CDiskInventory::Refresh(const StopToken* stop) {
    stop_ = stop;
    stopped_ = false;
    volumes.clear();
    disks.clear();
    tableNotes_.clear();
    lastEbrSector_.assign(static_cast<std::size_t>(devices_.PhysicalDriveCount()), kNoExtendedChain);
    EnumerateDisks();
    if (!StopAsked()) EnumerateVolumes();
    StopAsked();
    stop_ = nullptr;
}

bool CDiskInventory::StopAsked() {
    if (stop_ && stop_->StopRequested()) stopped_ = true;
    return stopped_;
}

std::uint64_t CDiskInventory::QueryDiskSize(int diskNumber) const {
    auto descriptor = devices_.QueryStorageDescriptor(diskNumber);
    if (!descriptor) return 0;
    const auto fields = ParseStorageDescriptor(*descriptor);
    if (!fields || fields->deviceType != 0) return 0;
    return devices_.QueryDiskLength(diskNumber);
}

int CDiskInventory::EnumerateDisks() {
    for (int drive = 0; drive < devices_.PhysicalDriveCount() && !StopAsked(); ++drive) {
        if (!devices_.OpenPhysicalDrive(drive, AccessMode::ReadOnly)) continue;
        auto descriptor = devices_.QueryStorageDescriptor(drive);
        if (!descriptor) continue;
        const auto fields = ParseStorageDescriptor(*descriptor);
        if (!fields || fields->deviceType != 0) continue;
        DiskInfo disk;
        disk.SetModel(fields->modelText);
        disk.sizeBytes = QueryDiskSize(drive);
        disk.removable = fields->removable ? 1 : 0;
        disk.diskNumber = drive;
        disk.busType = fields->busType;
        disks.push_back(disk);
    }
    return diskCount();
}

int CDiskInventory::FindDiskByModel(const std::string& model) const {
    for (const DiskInfo& disk : disks) {
        if (disk.Model() == model) return disk.diskNumber;
    }
    return -1;
}

bool CDiskInventory::QueryVolume(char letter, PartitionInfo& volume) const {
    const auto info = devices_.GetVolumeInformation(letter);
    if (!info) return false;
    volume.SetFsName(info->fileSystemName.substr(0, 11));
    volume.SetVolumeLabel(info->label.substr(0, 23));
    const FreeSpace space = devices_.GetDiskFreeSpace(letter).value_or(FreeSpace{});
    const auto extent = devices_.QueryPartitionInfo(letter);
    if (!extent) return false;
    // Sector numbers are 512-byte units everywhere in discovery, whatever the volume's own sector size.
    volume.startSector = static_cast<std::uint32_t>(extent->startingOffset / 512);
    volume.sectorsPerCluster = space.sectorsPerCluster;
    volume.bytesPerSector = space.bytesPerSector;
    volume.freeBytes = space.freeClusters * space.sectorsPerCluster * space.bytesPerSector;
    volume.totalBytes = extent->length;
    return true;
}

int CDiskInventory::EnumerateVolumes() {
    for (char letter : devices_.VolumeLetters()) {
        if (StopAsked()) return volumeCount();
        const int holder = devices_.DiskOfVolume(letter);
        auto descriptor = devices_.QueryStorageDescriptor(holder);
        if (!descriptor) continue;
        const auto fields = ParseStorageDescriptor(*descriptor);
        if (!fields || fields->deviceType != 0) continue;
        PartitionInfo temp;
        if (!QueryVolume(letter, temp)) continue;
        PartitionInfo volume;
        // Two disks of the same model cannot be told apart by their model text; the device map knows
        // which disk holds the volume, so its answer wins when it names a listed disk of that model.
        volume.diskNumber = FindDiskByModel(fields->modelText);
        for (const DiskInfo& disk : disks) {
            if (disk.diskNumber == holder && disk.Model() == fields->modelText) volume.diskNumber = holder;
        }
        volume.driveLetter = letter;
        volume.fsName = temp.fsName;
        volume.volumeLabel = temp.volumeLabel;
        volume.startSector = temp.startSector;
        volume.sectorsPerCluster = temp.sectorsPerCluster;
        volume.bytesPerSector = temp.bytesPerSector;
        volume.freeBytes = temp.freeBytes;
        volume.totalBytes = temp.totalBytes;
        volumes.push_back(volume);
    }

    const std::size_t lettered = volumes.size();
    for (const PartitionInfo& record : CollectAllPartitions()) {
        bool merged = false;
        for (std::size_t i = 0; i < lettered; ++i) {
            PartitionInfo& volume = volumes[i];
            const auto difference = static_cast<std::int32_t>(volume.startSector - record.startSector);
            if (volume.diskNumber == record.diskNumber && std::llabs(std::int64_t{difference}) < 63) {
                volume.kind = record.kind;
                volume.typeCode = record.typeCode;
                volume.extendedStart = record.extendedStart;
                volume.tableSector = record.tableSector;
                volume.bootSector = record.bootSector;
                merged = true;
                break;
            }
        }
        if (!merged) volumes.push_back(record);
    }
    return volumeCount();
}

PartitionList CDiskInventory::CollectAllPartitions() {
    PartitionList all;
    for (int drive = 0; drive < devices_.PhysicalDriveCount() && !StopAsked(); ++drive) {
        PartitionList list;
        ReadPartitionTable(drive, list);  // records found before a failed read still count
        all.insert(all.end(), list.begin(), list.end());
    }
    return all;
}

void CDiskInventory::InsertSorted(PartitionList& list, const PartitionInfo& record) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->tableSector == record.tableSector) return;
        if (it->tableSector > record.tableSector) {
            list.insert(it, record);
            return;
        }
    }
    list.push_back(record);
}

}  // namespace lumacore

namespace lumacore {

bool AdministratorRightsMissing(const DeviceMap& devices) {
    if (devices.PhysicalDriveCount() == 0) return false;
    auto device = devices.OpenPhysicalDrive(0, AccessMode::ReadOnly);
    return !device && device.error().kind == ErrorKind::AccessDenied;
}

}  // namespace lumacore
