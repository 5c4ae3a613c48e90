#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/result.h"

namespace lumacore {

// The NTFS boot sector's parameter block; offsets from the start of the sector.
namespace ntfs_boot {
inline constexpr std::size_t kOemName = 0x03;  // "NTFS    "
inline constexpr std::size_t kBytesPerSector = 0x0B;
inline constexpr std::size_t kSectorsPerCluster = 0x0D;
inline constexpr std::size_t kTotalSectors = 0x28;
inline constexpr std::size_t kMftCluster = 0x30;
inline constexpr std::size_t kMftMirrorCluster = 0x38;
inline constexpr std::size_t kRecordSize = 0x40;
inline constexpr std::size_t kIndexBlockSize = 0x44;
inline constexpr std::size_t kSerialNumber = 0x48;
// Everything above lies within the first 0x50 bytes.
inline constexpr std::size_t kParameterBlockEnd = 0x50;
}  // namespace ntfs_boot

// Windows formats clusters of up to 2 MiB; anything larger is not a boot sector we can trust.
inline constexpr std::uint64_t kNtfsMaxClusterSize = 2u << 20;
// Records are 1 KiB, or the sector size on 4K-sector disks; the format allows 256 B .. 64 KiB.
inline constexpr std::uint64_t kNtfsMinRecordSize = 256;
inline constexpr std::uint64_t kNtfsMaxRecordSize = 64u << 10;

struct NtfsBootSector {
    std::string oemName;  // the 8 bytes at offset 3; "NTFS    " as every formatter writes it
    std::uint32_t bytesPerSector = 0;
    std::uint32_t clusterSize = 0;   // bytes, from the sectors-per-cluster byte (negative: a power of two)
    std::uint64_t totalSectors = 0;  // of the volume, not counting the backup boot sector after it
    std::uint64_t mftCluster = 0;
    std::uint64_t mftMirrorCluster = 0;
    // Bytes per MFT record and per index block, from their size bytes; 0 when the byte gives no size.
    std::uint64_t recordSize = 0;
    std::uint64_t indexBlockSize = 0;
    std::uint64_t serialNumber = 0;

    std::uint64_t SectorsPerCluster() const { return clusterSize / bytesPerSector; }
    // A record size the MFT can be read with: a power of two from 256 bytes to 64 KiB.
    bool HasUsableRecordSize() const;
};

// The one rule every reader of an NTFS boot sector shares: "NTFS" at offset 3, a sector size that is a
// power of two from 256 to 4096 bytes, and a cluster that is a power of two of at most 2 MiB. Without
// "NTFS" the error is Unsupported (the sector is something else), otherwise Corrupt at the field.
Result<NtfsBootSector> DecodeNtfsBootSector(std::span<const std::byte> sector);

}  // namespace lumacore
