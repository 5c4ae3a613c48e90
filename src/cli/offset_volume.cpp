#include "cli/offset_volume.h"

#include <algorithm>
#include <array>

#include "cli/volume_selection.h"
#include "disk/gpt_walk.h"
#include "disk/table_entry_naming.h"
#include "disk/volume_signature.h"
#include "disk/whole_disk_record.h"

namespace lumacore {

namespace {

constexpr std::uint64_t kSectorBytes = 512;

Error Usage(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

}  // namespace

void AddOffsetOption(OptionParser& options) {
    options.Value("--offset", "SECTOR",
                  "a volume no partition table names, read at this sector of --disk N (of disk 0 without "
                  "--disk), as fls -o does; it is added to the volume table");
}

Result<void> AddOffsetVolume(CDiskInventory& inventory, const DeviceMap& devices,
                             const OptionParser& options) {
    const auto offset = options.Get("--offset");
    if (!offset) return {};
    std::uint64_t sector = 0;
    std::uint64_t disk = 0;
    if (!ParseUnsigned(*offset, sector) || sector > 0xFFFFFFFFu) {
        return Usage("--offset takes a sector number below 2^32");
    }
    if (const auto number = options.Get("--disk"); number && !ParseUnsigned(*number, disk)) {
        return Usage("--disk takes a whole number");
    }
    if (disk >= static_cast<std::uint64_t>(devices.PhysicalDriveCount())) {
        return Usage("there is no disk " + std::to_string(disk) + " (" +
                     std::to_string(devices.PhysicalDriveCount()) + " disks)");
    }
    auto opened = devices.OpenPhysicalDrive(static_cast<int>(disk), AccessMode::ReadOnly);
    if (!opened) return opened.error();
    ByteSource& source = **opened;
    const std::uint64_t start = sector * kSectorBytes;
    if (start >= source.Size()) {
        return Usage("sector " + *offset + " lies past the end of disk " + std::to_string(disk));
    }
    std::array<std::byte, kVolumeProbeBytes> head{};
    auto read = source.ReadAt(start, head);
    if (!read) return read.error();
    const VolumeKind kind = IdentifyVolume(std::span<const std::byte>(head).first(*read));
    if (kind == VolumeKind::kNone) {
        return Usage("no FAT, NTFS, exFAT or EXT file system starts at sector " + *offset + " of disk " +
                     std::to_string(disk));
    }
    // Sector numbers are 32-bit: the volume ends where they do.
    const std::uint64_t addressable = ((std::uint64_t{1} << 32) - sector) * kSectorBytes;
    PartitionInfo volume =
        WholeDiskRecord(static_cast<int>(disk), std::min(source.Size() - start, addressable));
    volume.startSector = static_cast<std::uint32_t>(sector);
    volume.tableSector = volume.startSector;
    volume.kind = PartitionInfo::kKindPrimary;
    // Named as a table entry of that file system is, which every engine that reads it accepts.
    if (IsExtKind(kind)) {
        if (!ProbeExt(source, volume)) return Error::Io("cannot read the EXT superblock", 0, start + 1024);
    } else {
        volume.SetFsName(TableEntryName(kind));
        SetTableEntryDefaults(volume);
    }
    inventory.volumes.push_back(volume);
    return {};
}

}  // namespace lumacore
