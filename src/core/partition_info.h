#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumacore {

// One volume, partition-table entry or unallocated gap of a disk. Its 600-byte little-endian form is
// stored byte for byte in partition backup files, so the offsets and reserved bytes are a file format.
struct PartitionInfo {
    static constexpr std::size_t kStoredSize = 600;
    static constexpr std::size_t kBootSectorSize = 512;

    // Stored offsets.
    static constexpr std::size_t kOffDiskNumber = 0;
    static constexpr std::size_t kOffDriveLetter = 4;
    static constexpr std::size_t kOffKind = 5;
    static constexpr std::size_t kOffTableSector = 8;
    static constexpr std::size_t kOffExtendedStart = 12;
    static constexpr std::size_t kOffFsName = 16;
    static constexpr std::size_t kOffVolumeLabel = 28;
    static constexpr std::size_t kOffStartSector = 52;
    static constexpr std::size_t kOffSectorsPerCluster = 56;
    static constexpr std::size_t kOffBytesPerSector = 60;
    static constexpr std::size_t kOffFreeBytes = 64;
    static constexpr std::size_t kOffTotalBytes = 72;
    static constexpr std::size_t kOffBootSector = 80;
    static constexpr std::size_t kOffTypeCode = 592;

    // kind values
    static constexpr std::uint8_t kKindUnmatchedVolume = 0;
    static constexpr std::uint8_t kKindPrimary = 1;
    static constexpr std::uint8_t kKindLogical = 2;

    static constexpr char kNoLetter = '*';

    std::int32_t diskNumber = 0;
    char driveLetter = 0;
    std::uint8_t kind = 0;
    std::uint32_t tableSector = 0;    // sort key within a disk
    std::uint32_t extendedStart = 0;  // first sector of the extended partition for logical entries and gaps in it
    std::array<char, 12> fsName{};
    std::array<char, 24> volumeLabel{};
    std::uint32_t startSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t totalBytes = 0;
    std::array<std::byte, kBootSectorSize> bootSector{};
    std::uint8_t typeCode = 0;

    std::string FsName() const;
    std::string VolumeLabel() const;
    void SetFsName(std::string_view text);
    void SetVolumeLabel(std::string_view text);

    // First sector after the partition: startSector + totalBytes / 512, low 32 bits kept.
    std::uint32_t EndSector() const;

    std::array<std::byte, kStoredSize> Serialize() const;
    static PartitionInfo Deserialize(std::span<const std::byte, kStoredSize> bytes);

    bool operator==(const PartitionInfo&) const = default;
};

// An ordered list of records, used while walking one disk and for all disks together.
using PartitionList = std::vector<PartitionInfo>;

}  // namespace lumacore
