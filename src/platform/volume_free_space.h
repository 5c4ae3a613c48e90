#pragma once

#include <cstdint>
#include <optional>

#include "core/byte_source.h"
#include "platform/device_map.h"

namespace lumacore {

// The free-space answer for a FAT12/16/32 or NTFS volume that starts at `volumeOffset` bytes on the
// source, read from its own allocation structures (the FAT, or the NTFS $Bitmap). Empty when the boot
// sector or the structures cannot be read or make no sense.
std::optional<FreeSpace> FatFreeSpace(ByteSource& source, std::uint64_t volumeOffset);
std::optional<FreeSpace> NtfsFreeSpace(ByteSource& source, std::uint64_t volumeOffset);

}  // namespace lumacore
