#pragma once

#include <cstdint>

#include "core/partition_info.h"

namespace lumacore {

// Modern tools start a logical partition 2048 sectors after its extended boot record; more free space
// than that between the record and the partition is room another partition had.
constexpr std::uint32_t kLogicalAlignment = 2048;

// Lists the space in front of each logical partition that its extended boot record does not explain.
// When a logical partition is removed, sfdisk moves the next one's entry into the removed one's record
// (at the start of the extended partition for the first): the next record's sector then lies before the
// freed space, and a gap measured up to record sectors never sees it. Measured up to the partition's own
// first sector it does. Runs on a walk's sorted list before its gaps are filled in; the gaps it adds
// start one track into the free space, like every gap inside the extended partition.
void InsertGapsBeforeLogicals(PartitionList& list, int diskNumber, std::uint32_t extStart,
                              std::uint32_t extCount);

}  // namespace lumacore
