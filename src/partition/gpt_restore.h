#pragma once

#include <cstdint>

#include "core/byte_source.h"
#include "partition/partition_restore.h"

namespace lumacore {

// The type GUID a restored GPT entry gets for a file-system name: Linux data for EXT2/3/4, basic data
// for FAT, NTFS and exFAT.
const char* GptTypeFor(std::string_view fsName);

// Plans entering `candidate` into a GPT disk of `diskSectors` sectors: its boot sector, a free slot of the
// entry array with the file system's type GUID, and both headers and both arrays rewritten with their
// CRC-32s (a primary that was damaged is rebuilt from the backup). Only array sectors whose bytes change
// are written. The candidate must lie inside the usable sectors and overlap no entry.
RestorePlan PlanGptRestore(ByteSource& disk, std::uint64_t diskSectors, const PartitionInfo& candidate);

}  // namespace lumacore
