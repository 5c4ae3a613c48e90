#include "disk/logical_gaps.h"

#include <algorithm>

#include "disk/table_entry_naming.h"

namespace lumacore {

namespace {

// Logical partitions start one track after their extended boot record at the least.
constexpr std::uint32_t kTrackSectors = 63;

}  // namespace

void InsertGapsBeforeLogicals(PartitionList& list, int diskNumber, std::uint32_t extStart,
                              std::uint32_t extCount) {
    std::uint32_t previousEnd = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const PartitionInfo& record = list[i];
        const std::uint32_t from = std::max(previousEnd, record.tableSector);
        const std::uint32_t end = record.EndSector();
        if (record.kind == PartitionInfo::kKindLogical && record.startSector > from &&
            record.startSector - from > kLogicalAlignment) {
            PartitionInfo gap = GapRecord(diskNumber);
            gap.tableSector = from;
            const std::uint32_t extEnd = extStart + extCount;  // wraps like the 32-bit sum it is
            const bool inside = extStart <= from && from <= extEnd;
            gap.kind = inside ? PartitionInfo::kKindLogical : PartitionInfo::kKindPrimary;
            gap.extendedStart = inside ? extStart : 0;
            gap.startSector = inside ? from + kTrackSectors : from;
            gap.totalBytes = gap.freeBytes = std::uint64_t{record.startSector - gap.startSector} * 512;
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(i), gap);
            ++i;
        }
        previousEnd = std::max(previousEnd, end);
    }
}

}  // namespace lumacore
