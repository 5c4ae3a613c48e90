#pragma once

#include "core/file_times.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/ext/ext_file_node.h"
#include "engines/fat/fat_file_node.h"
#include "engines/ntfs/ntfs_file_node.h"

namespace lumacore {

// A found file's times as Unix time, from each file system's own way of storing them:
// - FAT: DOS fields in the local time of the machine that wrote them, read in this machine's zone; the
//   last-access field holds a date only;
// - exFAT: DOS fields with the UTC offset the volume recorded (this machine's zone when none);
// - NTFS: FILETIMEs (UTC) from $STANDARD_INFORMATION;
// - EXT: Unix seconds; EXT2/3 have no birth time (the inode's ctime is its last change), so none.
FileTimes FatFileTimes(const FatFileNode& node);
FileTimes ExfatFileTimes(const ExfatFileNode& node);
FileTimes NtfsFileTimes(const NtfsFileNode& node);
// When the file's MFT record last changed (the change time of timelines).
std::optional<FileTime> NtfsRecordChangeTime(const NtfsFileNode& node);
FileTimes ExtFileTimes(const ExtFileNode& node);
// A FAT folder's times, read as its files' are.
FileTimes FatFolderFileTimes(const FatFolderTimes& folder);

}  // namespace lumacore
