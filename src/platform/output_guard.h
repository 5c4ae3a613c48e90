#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/file_descriptor.h"
#include "platform/source_overlap.h"

namespace lumacore {

class DeviceMap;

// Refuses a folder whose file system takes no files of ours: kernel pseudo file systems (proc, sysfs,
// devtmpfs, debugfs, cgroup, ...), where "files" are live kernel interfaces that can block a reader or
// act on a write, and read-only mounts.
Result<void> CheckWritableFileSystem(const std::filesystem::path& folder);
Result<void> CheckWritableFileSystem(int folderFd, const std::string& shownName);
// The first half of the above: refuses only the kernel pseudo file systems, whose files can block a
// reader for ever (/proc/kmsg); a read-only folder passes (disk images are read from such folders).
Result<void> CheckStorageFileSystem(const std::filesystem::path& folder);
Result<void> CheckStorageFileSystem(int folderFd, const std::string& shownName);

// The one door every file the program writes goes through: backups, undo files, repaired mail files,
// preview copies, saved previews, reports and recovered files. It refuses
// - the disks and images being read (same inode, hard links included) and anything else that is not a
//   regular file: a block device, even a loop device over an image being read, is never written;
// - folders on a file system that lives on a protected range (the source device, an overlapping
//   partition, a loop or stacked device over it, a mount whose source is an image being read);
// - folders on pseudo or read-only file systems;
// and opens files without following a final symbolic link: new ones with O_EXCL, existing ones only
// when the caller says the user confirmed the overwrite.
class OutputGuard {
  public:
    OutputGuard() = default;
    // `ranges`: what no destination file system may live on; `files`: what is never opened for
    // writing (a missing one is simply not there to protect).
    OutputGuard(std::vector<SourceDevice> ranges, const std::vector<std::filesystem::path>& files,
                std::filesystem::path sysRoot = "/sys");

    // For writes about disk `disk` of `devices` (partition backups, undo files): no drive of the map is
    // ever written; an image being read is protected whole, a block device by its first sector, where
    // the partition table lives (its partitions hold the user's own folders, backups included).
    static OutputGuard ForDisk(const DeviceMap& devices, int disk);

    Result<void> CheckFolder(int folderFd, const std::string& shownName) const;

    // Creates `name` in the folder; an existing name fails with systemCode EEXIST.
    // `readBack`: opened for reading too (a repair reads its copy back).
    Result<FileDescriptor> Create(int folderFd, const std::string& name, int mode = 0644,
                                  bool readBack = false) const;
    // Whether the existing `name` may be overwritten at all (before the user is asked): a regular file
    // that is no source, reached through no link.
    Result<void> CheckExisting(int folderFd, const std::string& name) const;
    // Opens the existing `name` for writing once the user has agreed to overwrite it; its bytes are kept
    // (the caller cuts it to size).
    Result<FileDescriptor> OpenExisting(int folderFd, const std::string& name, bool readBack = false) const;

    // `file` by path: its folder is the user's choice (links in it are followed), the file itself is
    // created, or emptied and rewritten when `overwriteConfirmed`.
    Result<FileDescriptor> Open(const std::filesystem::path& file, bool overwriteConfirmed, int mode = 0644,
                                bool readBack = false) const;

    bool IsSource(const FileIdentity& identity) const;

  private:
    std::vector<SourceDevice> ranges_;
    std::vector<FileIdentity> files_;
    std::filesystem::path sysRoot_ = "/sys";
};

// Writes all of `data` at the descriptor's current position; false on any error or no progress.
bool WriteAllTo(int fd, const void* data, std::size_t size);

}  // namespace lumacore
