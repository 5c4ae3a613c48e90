#pragma once

#include "core/progress.h"
#include "core/result.h"
#include "disk/disk_inventory.h"
#include "platform/device_map.h"

namespace lumacore {

// The boot-sector test of a lost partition: a jump byte 0xEB, the 0x55 0xAA signature, and "FAT3" at
// 0x52, "NTFS" at 3, "FAT1" at 0x36 or "EXFAT" at 3. Returns the file-system name ("FAT32", "NTFS",
// "FAT16", "exFAT") or nullptr.
const char* LostPartitionKind(std::span<const std::byte> sector);

// The last sector a candidate covers (it starts at its first sector and runs for its size).
std::uint32_t LastSectorOf(const PartitionInfo& candidate);

// The disk's records in volume-table order. A disk whose table has no entry at all (its only partition
// was deleted, or the table was wiped) has no records; the search then treats everything from sector 63
// to the end as one unallocated gap.
PartitionList RecordsOf(const CDiskInventory& inventory, int diskNumber);

// Candidates for a restore from the disk's volume records, in volume-table order: every record of the
// disk, and for each unallocated gap the file system whose boot sector or EXT superblock stands at the
// gap's first sector, or for a gap inside the extended partition 2048 sectors after the gap's extended
// boot record sector, where fdisk and sfdisk put logical partitions (the candidate then covers the rest
// of the gap). Fails when the disk cannot be opened or a gap's first
// sector cannot be read; the candidates found before stay in `candidates`.
Result<void> AutoScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                      PartitionList& candidates);

// Looks deeper: inside every gap of the disk (between GPT entries too) at 63- and 2048-sector
// alignments for FAT16, FAT32, NTFS and exFAT boot sectors and primary EXT2/3/4 superblocks, and for
// the backup boot sectors of NTFS (after the volume), FAT32 (in its reserved sectors) and exFAT (12
// sectors in) of a volume whose first sector was overwritten; each candidate is sized by its own boot
// sector or superblock and must fit inside its gap. Reads every gap in large sequential blocks.
Result<PartitionList> DeepScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                               ProgressFields& progress, const StopToken& stop);

}  // namespace lumacore
