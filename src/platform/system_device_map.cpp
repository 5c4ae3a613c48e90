#include "platform/system_device_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/byte_reader.h"
#include "core/disk_info.h"
#include "platform/block_device_info.h"
#include "platform/image_opener.h"
#include "platform/volume_probe.h"

namespace lumacore {

namespace {

constexpr char kFirstLetter = 'C';  // A: and B: belong to floppy drives
constexpr char kLastLetter = 'Z';

}  // namespace

std::vector<std::byte> BuildStorageDescriptor(const std::string& vendor, const std::string& product,
                                              bool removable, std::uint32_t busType,
                                              std::uint8_t deviceType) {
    constexpr std::size_t kHeaderSize = 0x28;
    std::vector<std::byte> out(kHeaderSize);
    auto appendText = [&out](const std::string& text) {
        const std::size_t at = out.size();
        for (char c : text) out.push_back(static_cast<std::byte>(c));
        out.push_back(std::byte{0});
        return static_cast<std::uint32_t>(at);
    };
    const std::uint32_t vendorAt = vendor.empty() ? 0 : appendText(vendor);
    const std::uint32_t productAt = appendText(product);
    PutLe(out, 0, kHeaderSize, 4);  // version: the size of the fixed header
    PutLe(out, 4, out.size(), 4);
    out[8] = static_cast<std::byte>(deviceType);
    out[10] = static_cast<std::byte>(removable ? 1 : 0);
    PutLe(out, 12, vendorAt, 4);
    PutLe(out, 16, productAt, 4);
    PutLe(out, 28, busType, 4);
    return out;
}

std::vector<std::string> SystemDeviceMap::SplitImageList(const std::string& list) {
    std::vector<std::string> paths;
    std::size_t from = 0;
    while (from <= list.size()) {
        const std::size_t colon = list.find(':', from);
        const std::size_t to = colon == std::string::npos ? list.size() : colon;
        if (to > from) paths.push_back(list.substr(from, to - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return paths;
}

Result<std::unique_ptr<SystemDeviceMap>> SystemDeviceMap::Create(const Options& options) {
    std::unique_ptr<SystemDeviceMap> map(new SystemDeviceMap());
    for (const std::string& image : options.images) {
        auto device = OpenImage(image, AccessMode::ReadOnly);
        if (!device) {
            Error e = device.error();
            // The device helper's refusals, and what libewf finds wrong, say more than an errno would.
            const bool ownMessage =
                (e.kind == ErrorKind::AccessDenied || e.kind == ErrorKind::Corrupt) && e.systemCode == 0;
            e.message = "cannot open disk image '" + image +
                        "': " + (ownMessage ? e.message : std::strerror(e.systemCode ? e.systemCode : EIO));
            return e;
        }
        const auto* plain = dynamic_cast<const Device*>(device->get());
        Drive drive;
        drive.path = image;
        drive.product = "Disk image " + std::filesystem::path(image).filename().string();
        drive.busType = plain != nullptr && plain->isBlockDevice() ? kBusUnknown : kBusFileBackedVirtual;
        map->drives_.push_back(std::move(drive));
    }
    if (options.includeBlockDevices) {
        for (const BlockDeviceInfo& info : ListWholeDisks(options.sysRoot)) {
            Drive drive;
            drive.path = info.devPath;
            drive.vendor = info.vendor;
            drive.product = info.model;
            drive.removable = info.removable;
            drive.busType = info.busType;
            map->drives_.push_back(std::move(drive));
        }
    }
    return map;
}

std::string SystemDeviceMap::PhysicalDrivePath(int drive) const {
    return drive >= 0 && drive < PhysicalDriveCount() ? drives_[drive].path : std::string();
}

Result<std::unique_ptr<BlockDevice>> SystemDeviceMap::OpenPhysicalDrive(int drive, AccessMode mode) const {
    if (drive < 0 || drive >= PhysicalDriveCount()) {
        return Error::Make(ErrorKind::NotFound, "no physical drive " + std::to_string(drive));
    }
    return OpenImage(drives_[drive].path, mode);
}

Result<std::vector<std::byte>> SystemDeviceMap::QueryStorageDescriptor(int drive) const {
    if (drive < 0 || drive >= PhysicalDriveCount()) {
        return Error::Make(ErrorKind::NotFound, "no physical drive " + std::to_string(drive));
    }
    const Drive& d = drives_[drive];
    return BuildStorageDescriptor(d.vendor, d.product, d.removable, d.busType);
}

std::uint64_t SystemDeviceMap::QueryDiskLength(int drive) const {
    auto device = OpenPhysicalDrive(drive, AccessMode::ReadOnly);
    return device ? (*device)->Size() : 0;
}

void SystemDeviceMap::ProbeVolumesOnce() const {
    const std::lock_guard lock(probeMutex_);
    if (probed_) return;
    probed_ = true;
    char letter = kFirstLetter;
    for (int drive = 0; drive < PhysicalDriveCount() && letter <= kLastLetter; ++drive) {
        for (ProbedVolume& probed : ProbeVolumes(drives_[drive].path)) {
            if (letter > kLastLetter) break;
            volumes_[letter++] =
                LetteredVolume{drive, probed.extent, std::move(probed.information), probed.freeSpace};
        }
    }
}

void SystemDeviceMap::ForgetVolumes() const {
    const std::lock_guard lock(probeMutex_);
    probed_ = false;
    volumes_.clear();
}

const SystemDeviceMap::LetteredVolume* SystemDeviceMap::FindVolume(char letter) const {
    ProbeVolumesOnce();
    const auto it = volumes_.find(letter);
    return it == volumes_.end() ? nullptr : &it->second;
}

std::vector<char> SystemDeviceMap::VolumeLetters() const {
    ProbeVolumesOnce();
    std::vector<char> letters;
    for (const auto& [letter, volume] : volumes_) letters.push_back(letter);
    return letters;
}

std::optional<VolumeInformation> SystemDeviceMap::GetVolumeInformation(char letter) const {
    const LetteredVolume* v = FindVolume(letter);
    if (v == nullptr) return std::nullopt;
    return v->information;
}

std::optional<FreeSpace> SystemDeviceMap::GetDiskFreeSpace(char letter) const {
    const LetteredVolume* v = FindVolume(letter);
    if (v == nullptr) return std::nullopt;
    return v->freeSpace;
}

std::optional<PartitionExtent> SystemDeviceMap::QueryPartitionInfo(char letter) const {
    const LetteredVolume* v = FindVolume(letter);
    if (v == nullptr) return std::nullopt;
    return v->extent;
}

int SystemDeviceMap::DiskOfVolume(char letter) const {
    const LetteredVolume* v = FindVolume(letter);
    return v == nullptr ? -1 : v->drive;
}

}  // namespace lumacore
