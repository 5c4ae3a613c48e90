#include "partition/logical_head.h"

#include <algorithm>
#include <cstring>

#include "core/byte_reader.h"
#include "disk/logical_gaps.h"
#include "partition/partition_entry.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kSector = 512;
constexpr std::size_t kFirstEntry = 0x1BE;
constexpr std::size_t kEntrySize = 16;

}  // namespace

std::optional<RestorePlan> PlanLogicalHeadRestore(ByteSource& disk, const PartitionInfo& w, std::uint32_t e,
                                                  std::uint32_t lastEbrSector) {
    SectorWrite head{e, {}, "first extended boot record"};
    if (!ReadExact(disk, std::uint64_t{e} * kSector, head.bytes)) return RefusedPlan(kRestoreCannotAccess);
    const ByteReader r(head.bytes);
    std::size_t data = kFirstEntry;
    std::size_t link = kFirstEntry + kEntrySize;
    if (r.u8(data + 4) == 0x05) std::swap(data, link);
    const std::uint8_t type = r.u8(data + 4);
    const std::uint32_t count = r.u32le(data + 12);
    const std::uint64_t next = std::uint64_t{e} + r.u32le(data + 8);
    if (type == 0 || count == 0 || next <= w.startSector) return std::nullopt;

    const std::uint32_t wCount = static_cast<std::uint32_t>(w.totalBytes / kSector);
    const std::uint64_t wEnd = std::uint64_t{w.startSector} + wCount;
    if (w.startSector <= e || wEnd > next) return RefusedPlan(kRestoreNoGap);
    // The moved partition's new record: where sfdisk would put it (2048 sectors before the partition),
    // or right after the restored partition when that is closer.
    const std::uint64_t moved =
        std::max<std::uint64_t>(wEnd, next >= kLogicalAlignment ? next - kLogicalAlignment : 0);
    if (moved >= next) return RefusedPlan(kRestoreNoGap);

    SectorWrite record{static_cast<std::uint32_t>(moved), {}, "new extended boot record (moved partition)"};
    FillTableEntry(record.bytes, 0, type, static_cast<std::uint32_t>(next - moved), count);
    if (r.u8(link + 4) == 0x05) {
        std::memcpy(record.bytes.data() + kFirstEntry + kEntrySize, head.bytes.data() + link, kEntrySize);
    }
    record.bytes[510] = std::byte{0x55};
    record.bytes[511] = std::byte{0xAA};

    std::memset(head.bytes.data() + kFirstEntry, 0, 2 * kEntrySize);
    FillTableEntry(head.bytes, 0, w.typeCode, w.startSector - e, wCount);
    const std::uint32_t linkCount = static_cast<std::uint32_t>(next + count - moved);
    FillTableEntry(head.bytes, 1, 0x05, static_cast<std::uint32_t>(moved - e), linkCount);

    RestorePlan plan;
    plan.writes = {SectorWrite{w.startSector, w.bootSector, "boot sector"}, head, record};
    if (lastEbrSector == e) plan.newLastEbrSector = record.sector;
    plan.entries = {EntryText("extended boot record at sector " + std::to_string(e) + ", entry", 0,
                              w.startSector - e, wCount, w.typeCode),
                    EntryText("extended boot record at sector " + std::to_string(e) + ", link entry", 1,
                              static_cast<std::uint32_t>(moved - e), linkCount, 0x05),
                    EntryText("extended boot record at sector " + std::to_string(moved) + ", entry", 0,
                              static_cast<std::uint32_t>(next - moved), count, type)};
    return plan;
}

}  // namespace lumacore
