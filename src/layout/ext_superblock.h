#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/result.h"

namespace lumacore {

// Byte offset of an EXT superblock from the start of its volume, and its size.
inline constexpr std::size_t kExtSuperblockOffset = 1024;
inline constexpr std::size_t kExtSuperblockSize = 1024;
inline constexpr std::uint16_t kExtMagic = 0xEF53;
// EXT block sizes run from 1 KiB (log 0) to 64 KiB (log 6).
inline constexpr std::uint32_t kExtMaxLogBlockSize = 6;

// Offsets from the start of the superblock.
namespace ext_sb {
inline constexpr std::size_t kInodesCount = 0x00;
inline constexpr std::size_t kBlocksCountLo = 0x04;
inline constexpr std::size_t kFreeBlocksCountLo = 0x0C;
inline constexpr std::size_t kFirstDataBlock = 0x14;
inline constexpr std::size_t kLogBlockSize = 0x18;
inline constexpr std::size_t kBlocksPerGroup = 0x20;
inline constexpr std::size_t kInodesPerGroup = 0x28;
inline constexpr std::size_t kMagic = 0x38;
inline constexpr std::size_t kBlockGroupNumber = 0x5A;  // which group this copy stands in; 0 for the primary
inline constexpr std::size_t kRevision = 0x4C;
inline constexpr std::size_t kInodeSize = 0x58;
inline constexpr std::size_t kFeatureCompat = 0x5C;
inline constexpr std::size_t kFeatureIncompat = 0x60;
inline constexpr std::size_t kFeatureRoCompat = 0x64;
inline constexpr std::size_t kVolumeName = 0x78;
inline constexpr std::size_t kVolumeNameLength = 16;
inline constexpr std::size_t kReservedGdtBlocks = 0xCE;
inline constexpr std::size_t kJournalInode = 0xE0;
inline constexpr std::size_t kDescriptorSize = 0xFE;
inline constexpr std::size_t kFirstMetaBg = 0x104;
inline constexpr std::size_t kBlocksCountHi = 0x150;
inline constexpr std::size_t kFreeBlocksCountHi = 0x158;
}  // namespace ext_sb

// Feature bits.
inline constexpr std::uint32_t kExtIncompatMetaBg = 0x10;
inline constexpr std::uint32_t kExtIncompatExtents = 0x40;
inline constexpr std::uint32_t kExtIncompat64Bit = 0x80;
inline constexpr std::uint32_t kExtRoCompatSparseSuper = 0x1;
inline constexpr std::uint32_t kExtRoCompatHugeFile = 0x8;
inline constexpr std::uint32_t kExtRoCompatGdtCsum = 0x10;
inline constexpr std::uint32_t kExtRoCompatMetadataCsum = 0x400;

// The inode size of revision 0 volumes, and the part of an inode every revision has.
inline constexpr std::size_t kExtGoodOldInodeSize = 128;
// Group descriptors without the 64-bit feature; with it the size is in the superblock.
inline constexpr std::uint32_t kExtNarrowDescriptorSize = 32;

// The superblock's fields as they stand. The 64-bit halves are joined only on volumes with the 64-bit
// feature, and the inode and descriptor sizes take their fixed values where the volume has no field
// for them, as the kernel reads them.
struct ExtSuperblockFields {
    std::uint32_t inodesCount = 0;
    std::uint64_t blocksCount = 0;
    std::uint64_t freeBlocksCount = 0;
    std::uint32_t firstDataBlock = 0;
    std::uint32_t logBlockSize = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t blocksPerGroup = 0;
    std::uint32_t inodesPerGroup = 0;
    std::uint16_t blockGroupNumber = 0;
    std::uint32_t revision = 0;
    std::uint32_t inodeSize = kExtGoodOldInodeSize;
    std::uint32_t journalInode = 0;
    std::uint32_t featureCompat = 0;
    std::uint32_t featureIncompat = 0;
    std::uint32_t featureRoCompat = 0;
    std::uint32_t descriptorSize = kExtNarrowDescriptorSize;
    std::uint32_t firstMetaBg = 0;
    std::uint32_t reservedGdtBlocks = 0;
    std::string label;

    bool is64Bit() const { return (featureIncompat & kExtIncompat64Bit) != 0; }
    bool hasMetaBg() const { return (featureIncompat & kExtIncompatMetaBg) != 0; }
    bool hasGroupChecksums() const {
        return (featureRoCompat & (kExtRoCompatGdtCsum | kExtRoCompatMetadataCsum)) != 0;
    }
    std::uint32_t InodesPerBlock() const { return blockSize / inodeSize; }
    // Blocks of one group's inode table, the last one possibly partly used.
    std::uint64_t InodeTableBlocks() const {
        return (std::uint64_t{inodesPerGroup} * inodeSize + blockSize - 1) / blockSize;
    }
    std::uint32_t DescriptorsPerBlock() const { return blockSize / descriptorSize; }
    std::uint64_t GroupFirstBlock(std::uint32_t group) const {
        return firstDataBlock + std::uint64_t{group} * blocksPerGroup;
    }
    // Whether the group keeps a copy of the superblock and descriptor table.
    bool GroupHasSuperblock(std::uint32_t group) const;
};

// The one rule every reader of an EXT superblock shares: 1024 bytes, the magic 0xEF53 at 0x38
// (Unsupported without it) and a block size of 1 to 64 KiB (Corrupt at 0x18 otherwise). The group
// geometry is checked by the engine, which is the one reader that walks it.
Result<ExtSuperblockFields> DecodeExtSuperblock(std::span<const std::byte> superblock);

}  // namespace lumacore
