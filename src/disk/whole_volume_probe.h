#pragma once

#include <cstdint>
#include <span>

#include "core/byte_source.h"
#include "core/partition_info.h"
#include "core/result.h"

namespace lumacore {

// Whether sector 0 reads as a master boot record: the 0x55 0xAA signature, and every used entry with a
// boot flag of 0x00 or 0x80, a non-zero start and count, and a start inside the disk. A volume imaged on
// its own (dd of a partition) keeps old bytes or boot code there and fails this test.
bool LooksLikePartitionTable(std::span<const std::byte> sector0, std::uint64_t diskSectors);

// Probes a disk as one volume: an EXT superblock at byte 1024, a FAT, NTFS or exFAT boot sector at 0.
// On a find, `whole` (already holding the disk number, kind and size) is named as the walk names it
// (EXT2/EXT3/EXT4 with the superblock's label and sizes; "Unknown" with the table-entry defaults for the
// others, whose system name comes from the lettered volume) and the result is true.
Result<bool> ProbeWholeVolume(ByteSource& disk, PartitionInfo& whole);

}  // namespace lumacore
