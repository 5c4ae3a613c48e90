#pragma once

#include "core/byte_source.h"
#include "core/partition_info.h"

namespace lumacore {

// What every partition-table walk (master boot record, extended chain, GPT) fills into its records.

// The defaults of a table entry that no probe measured: no letter, label "Unknown", 8 sectors per
// cluster, 512-byte sectors, free = total.
void SetTableEntryDefaults(PartitionInfo& record);

// Names an EXT partition from its superblock ("EXT2", "EXT3", "EXT4", else "EXTX" with the defaults).
// Fails only when the superblock cannot be read.
bool ProbeExt(ByteSource& disk, PartitionInfo& record);

// An unallocated-gap record ("Deleted") of a disk, placed and sized by the caller.
PartitionInfo GapRecord(int diskNumber);

}  // namespace lumacore
