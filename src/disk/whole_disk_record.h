#pragma once

#include <cstdint>

#include "core/partition_info.h"

namespace lumacore {

// A record standing for a whole disk (sector 0 to its end), for carving a disk whose partition table
// is gone: no letter, no file system.
PartitionInfo WholeDiskRecord(int diskNumber, std::uint64_t diskBytes);

}  // namespace lumacore
