#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/disk_info.h"
#include "core/partition_info.h"
#include "core/result.h"
#include "platform/output_guard.h"

namespace lumacore {

// Partition backup files (".pbf"): the magic 0x89ABCDEF, the disk's 288-byte record, then the 600-byte
// records of its volumes, gaps and table entries, to the end of the file.
constexpr std::uint32_t kBackupMagic = 0x89ABCDEF;
constexpr const char* kBackupDone = "Backup has done!";
constexpr const char* kBackupFailed = "Can't backup the disk!";
constexpr const char* kBackupLoadFailed = "Can't load the Backup file!";
constexpr const char* kBackupConfirm = "Do you want to back up all partitions on the disk ?";

// A backup file's date as the backup list shows it: five blanks, then "YYYY-MM-DD HH:MM:SS" of its last
// status change (the nearest Linux keeps to a creation time); empty when the file is not there.
std::string CreatedText(const std::filesystem::path& path);

// Writes the backup of `disk`: every record of `volumes` whose disk number is the disk's, in order,
// through `guard`; an existing file is replaced only when `overwriteConfirmed`.
Result<void> WriteBackup(const std::filesystem::path& file, const DiskInfo& disk,
                         const std::vector<PartitionInfo>& volumes, const OutputGuard& guard = {},
                         bool overwriteConfirmed = false);

// Reads a backup of `disk`: the stored disk record must have the same model and size (its number may
// differ). A trailing partial record is ignored.
Result<PartitionList> LoadBackup(const std::filesystem::path& file, const DiskInfo& disk);

// Where backups are kept: the per-user data folder ($XDG_DATA_HOME/lumacore/backup, created when
// missing), where new backups and undo files go; and the folder beside the program, listed as well.
std::filesystem::path UserBackupFolder();
std::vector<std::filesystem::path> BackupFolders();

struct BackupListing {
    std::filesystem::path path;
    std::string createdText;  // "     %Y-%m-%d %H:%M:%S"
};

// The backups of a disk: files "<model>*.pbf" in the backup folders.
std::vector<BackupListing> ListBackups(const DiskInfo& disk);

}  // namespace lumacore
