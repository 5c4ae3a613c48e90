#pragma once

#include <cstdint>
#include <optional>

#include "core/byte_source.h"
#include "partition/partition_restore.h"

namespace lumacore {

// A logical partition restored in front of the one the extended partition's first boot record describes
// (what sfdisk leaves when it removes the first logical partition: the next one's entry moves into the
// first record). The restored partition takes the first record; the partition that was there moves into
// a new record between the two, linked on to the rest of the chain unchanged, so that the chain stays in
// disk order. nullopt when the first record describes no partition after the candidate.
std::optional<RestorePlan> PlanLogicalHeadRestore(ByteSource& disk, const PartitionInfo& candidate,
                                                  std::uint32_t extendedStart, std::uint32_t lastEbrSector);

}  // namespace lumacore
