#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/result.h"

namespace lumacore {

// Offsets within one group descriptor. The first 32 bytes are the narrow layout; 64-bit volumes add the
// high halves from 0x20 on.
namespace ext_gd {
inline constexpr std::size_t kBlockBitmapLo = 0x00;
inline constexpr std::size_t kInodeBitmapLo = 0x04;
inline constexpr std::size_t kInodeTableLo = 0x08;
inline constexpr std::size_t kFlags = 0x12;
inline constexpr std::size_t kUnusedInodesLo = 0x1C;
inline constexpr std::size_t kBlockBitmapHi = 0x20;
inline constexpr std::size_t kInodeBitmapHi = 0x24;
inline constexpr std::size_t kInodeTableHi = 0x28;
inline constexpr std::size_t kUnusedInodesHi = 0x32;
inline constexpr std::size_t kNarrowSize = 0x20;
inline constexpr std::size_t kWideSize = 0x40;
}  // namespace ext_gd

// Group descriptor flag: the group's inode table was never initialised (no inode was ever used there).
inline constexpr std::uint16_t kExtGroupInodeUninit = 0x1;

struct ExtGroupDescriptor {
    std::uint64_t blockBitmap = 0;
    std::uint64_t inodeBitmap = 0;
    std::uint64_t inodeTable = 0;
    std::uint16_t flags = 0;
    std::uint32_t unusedInodes = 0;  // inodes at the end of the table never handed out (checksummed volumes)
};

// One descriptor; `wide` on volumes with the 64-bit feature, whose descriptors carry the high halves.
// The one rule: the bytes hold the whole layout (32 bytes, or 64 when wide); Corrupt at the end otherwise.
Result<ExtGroupDescriptor> DecodeExtGroupDescriptor(std::span<const std::byte> descriptor, bool wide);

}  // namespace lumacore
