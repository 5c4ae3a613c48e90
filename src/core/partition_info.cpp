#include "core/partition_info.h"

#include <algorithm>

#include "core/byte_reader.h"
#include "core/fixed_text.h"

namespace lumacore {

static_assert(PartitionInfo::kOffTypeCode + 1 + 7 == PartitionInfo::kStoredSize);
static_assert(PartitionInfo::kOffBootSector + PartitionInfo::kBootSectorSize == PartitionInfo::kOffTypeCode);
static_assert(PartitionInfo::kOffFsName + 12 == PartitionInfo::kOffVolumeLabel);
static_assert(PartitionInfo::kOffVolumeLabel + 24 == PartitionInfo::kOffStartSector);

std::string PartitionInfo::FsName() const { return FixedText(fsName); }
std::string PartitionInfo::VolumeLabel() const { return FixedText(volumeLabel); }
void PartitionInfo::SetFsName(std::string_view text) { SetFixedText(fsName, text); }
void PartitionInfo::SetVolumeLabel(std::string_view text) { SetFixedText(volumeLabel, text); }

std::uint32_t PartitionInfo::EndSector() const {
    return static_cast<std::uint32_t>(startSector + (totalBytes / 512));
}

std::array<std::byte, PartitionInfo::kStoredSize> PartitionInfo::Serialize() const {
    std::array<std::byte, kStoredSize> out{};
    PutLe(out, kOffDiskNumber, static_cast<std::uint32_t>(diskNumber), 4);
    out[kOffDriveLetter] = static_cast<std::byte>(driveLetter);
    out[kOffKind] = static_cast<std::byte>(kind);
    PutLe(out, kOffTableSector, tableSector, 4);
    PutLe(out, kOffExtendedStart, extendedStart, 4);
    std::copy_n(reinterpret_cast<const std::byte*>(fsName.data()), fsName.size(), out.begin() + kOffFsName);
    std::copy_n(reinterpret_cast<const std::byte*>(volumeLabel.data()), volumeLabel.size(),
                out.begin() + kOffVolumeLabel);
    PutLe(out, kOffStartSector, startSector, 4);
    PutLe(out, kOffSectorsPerCluster, sectorsPerCluster, 4);
    PutLe(out, kOffBytesPerSector, bytesPerSector, 4);
    PutLe(out, kOffFreeBytes, freeBytes, 8);
    PutLe(out, kOffTotalBytes, totalBytes, 8);
    std::copy(bootSector.begin(), bootSector.end(), out.begin() + kOffBootSector);
    out[kOffTypeCode] = static_cast<std::byte>(typeCode);
    return out;
}

PartitionInfo PartitionInfo::Deserialize(std::span<const std::byte, kStoredSize> bytes) {
    ByteReader r(bytes);
    PartitionInfo p;
    p.diskNumber = static_cast<std::int32_t>(r.u32le(kOffDiskNumber));
    p.driveLetter = static_cast<char>(r.u8(kOffDriveLetter));
    p.kind = r.u8(kOffKind);
    p.tableSector = r.u32le(kOffTableSector);
    p.extendedStart = r.u32le(kOffExtendedStart);
    for (std::size_t i = 0; i < p.fsName.size(); ++i) p.fsName[i] = static_cast<char>(r.u8(kOffFsName + i));
    for (std::size_t i = 0; i < p.volumeLabel.size(); ++i)
        p.volumeLabel[i] = static_cast<char>(r.u8(kOffVolumeLabel + i));
    // A stored text without its NUL would read past the field; the last byte is always the terminator.
    p.fsName.back() = '\0';
    p.volumeLabel.back() = '\0';
    p.startSector = r.u32le(kOffStartSector);
    p.sectorsPerCluster = r.u32le(kOffSectorsPerCluster);
    p.bytesPerSector = r.u32le(kOffBytesPerSector);
    p.freeBytes = r.u64le(kOffFreeBytes);
    p.totalBytes = r.u64le(kOffTotalBytes);
    std::copy_n(bytes.begin() + kOffBootSector, kBootSectorSize, p.bootSector.begin());
    p.typeCode = r.u8(kOffTypeCode);
    return p;
}

}  // namespace lumacore
