#include "disk/whole_disk_record.h"

#include <algorithm>

namespace lumacore {

PartitionInfo WholeDiskRecord(int diskNumber, std::uint64_t diskBytes) {
    PartitionInfo record;
    record.diskNumber = diskNumber;
    record.driveLetter = PartitionInfo::kNoLetter;
    record.startSector = 0;
    record.bytesPerSector = 512;
    // Sector numbers are 32-bit: a disk beyond 2 TiB is carved up to that bound.
    record.totalBytes = std::min<std::uint64_t>(diskBytes / 512, 0xFFFFFFFFu) * 512;
    record.SetFsName("Unknown");
    return record;
}

}  // namespace lumacore
