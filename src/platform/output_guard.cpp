#include "platform/output_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <string_view>

#include "platform/device_map.h"

namespace lumacore {

namespace {

namespace fs = std::filesystem;

// Kernel file systems whose entries are interfaces, not storage. devtmpfs reports the tmpfs magic, so
// the mount table's type name is what tells it apart from a /tmp.
constexpr std::array<std::string_view, 21> kPseudoFileSystems = {
    "proc",   "sysfs",   "devtmpfs", "devpts",    "debugfs",  "tracefs",    "securityfs",
    "cgroup", "cgroup2", "pstore",   "bpf",       "configfs", "efivarfs",   "binfmt_misc",
    "mqueue", "nsfs",    "fusectl",  "selinuxfs", "autofs",   "rpc_pipefs", "hugetlbfs"};

// The same file systems by magic number, for when the mount table cannot be read.
constexpr std::array<unsigned long, 17> kPseudoMagic = {
    0x9fa0,     0x62656572, 0x1cd1,     0x64626720, 0x74726163, 0x73636673,
    0x27e0eb,   0x63677270, 0x6165676c, 0xcafe4a11, 0x62656570, 0xde5e81e4,
    0x42494e4d, 0x19800202, 0x6e736673, 0x65735543, 0xf97cff8c};

// The mount table's own escapes: space, tab, newline and backslash as three octal digits.
std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const auto digit = [&](std::size_t k) { return text[k] >= '0' && text[k] <= '7'; };
            if (digit(i + 1) && digit(i + 2) && digit(i + 3)) {
                out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                         (text[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

struct MountEntry {
    std::string type;
    std::string source;
};

// The mount table's entry for the file system with device number `device`.
std::optional<MountEntry> MountOf(std::uint64_t device) {
    std::ifstream in("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(in, line)) {
        // id parent MAJ:MIN root mountpoint options [optional fields] - type source superoptions
        std::size_t at = 0;
        for (int field = 0; field < 2 && at != std::string::npos; ++field) at = line.find(' ', at + 1);
        if (at == std::string::npos) continue;
        const std::size_t end = line.find(' ', at + 1);
        if (end == std::string::npos || line.compare(at + 1, end - at - 1, wanted) != 0) continue;
        const std::size_t dash = line.find(" - ", end);
        if (dash == std::string::npos) continue;
        const std::size_t typeEnd = line.find(' ', dash + 3);
        if (typeEnd == std::string::npos) continue;
        const std::size_t sourceEnd = line.find(' ', typeEnd + 1);
        return MountEntry{line.substr(dash + 3, typeEnd - dash - 3),
                          Unescape(std::string_view(line).substr(typeEnd + 1, sourceEnd - typeEnd - 1))};
    }
    return std::nullopt;
}

bool IsPseudoType(std::string_view type) {
    for (std::string_view pseudo : kPseudoFileSystems) {
        if (type == pseudo) return true;
    }
    return false;
}

Error Refusal(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

std::string SystemText(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

// What a mount's source names, when it is a file or device on this machine (FUSE mounts of an image).
std::optional<struct stat> MountSourceFile(const std::string& source) {
    if (source.empty() || source.front() != '/') return std::nullopt;
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) return std::nullopt;
    return st;
}

}  // namespace

Result<void> CheckStorageFileSystem(int folderFd, const std::string& shownName) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot query " + shownName, code), code);
    }
    if (!S_ISDIR(folder.st_mode)) return Refusal(shownName + " is not a folder.");
    const std::optional<MountEntry> mount = MountOf(folder.st_dev);
    bool pseudo = mount && IsPseudoType(mount->type);
    struct statfs fsInfo {};
    if (::fstatfs(folderFd, &fsInfo) == 0) {
        for (unsigned long magic : kPseudoMagic)
            pseudo = pseudo || static_cast<unsigned long>(fsInfo.f_type) == magic;
    }
    if (pseudo) {
        return Refusal(shownName + " is on a system file system (" +
                       (mount ? mount->type : std::string("kernel")) +
                       "), not on storage: choose another folder.");
    }
    return {};
}

Result<void> CheckWritableFileSystem(int folderFd, const std::string& shownName) {
    if (auto storage = CheckStorageFileSystem(folderFd, shownName); !storage) return storage;
    struct statvfs vfs {};
    if (::fstatvfs(folderFd, &vfs) == 0 && (vfs.f_flag & ST_RDONLY) != 0) {
        return Refusal(shownName + " is on a read-only file system: choose another folder.");
    }
    return {};
}

namespace {

Result<FileDescriptor> OpenFolderPath(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        const int code = errno;
        return Error::Io(SystemText("Cannot open the folder " + folder.string(), code), code);
    }
    return fd;
}

}  // namespace

Result<void> CheckWritableFileSystem(const fs::path& folder) {
    auto fd = OpenFolderPath(folder);
    if (!fd) return fd.error();
    return CheckWritableFileSystem(fd->get(), folder.string());
}

Result<void> CheckStorageFileSystem(const fs::path& folder) {
    auto fd = OpenFolderPath(folder);
    if (!fd) return fd.error();
    return CheckStorageFileSystem(fd->get(), folder.string());
}

OutputGuard::OutputGuard(std::vector<SourceDevice> ranges, const std::vector<fs::path>& files,
                         fs::path sysRoot)
    : ranges_(std::move(ranges)), sysRoot_(std::move(sysRoot)) {
    for (const SourceDevice& range : ranges_) {
        if (auto identity = IdentityOf(range.canonicalPath)) files_.push_back(*identity);
    }
    for (const fs::path& file : files) {
        if (auto identity = IdentityOf(file)) files_.push_back(*identity);
    }
}

OutputGuard OutputGuard::ForDisk(const DeviceMap& devices, int disk) {
    constexpr std::uint64_t kTableSectorBytes = 512;
    std::vector<SourceDevice> ranges;
    std::vector<fs::path> files;
    for (int drive = 0; drive < devices.PhysicalDriveCount(); ++drive) {
        files.emplace_back(devices.PhysicalDrivePath(drive));
        if (drive != disk) continue;
        if (auto source = DescribeSource(files.back())) {
            if (source->isBlockDevice) source->partitionLength = kTableSectorBytes;
            ranges.push_back(std::move(*source));
        }
    }
    return OutputGuard(std::move(ranges), files);
}

bool OutputGuard::IsSource(const FileIdentity& identity) const {
    for (const FileIdentity& file : files_) {
        if (file == identity) return true;
    }
    return false;
}

Result<void> OutputGuard::CheckFolder(int folderFd, const std::string& shownName) const {
    if (auto writable = CheckWritableFileSystem(folderFd, shownName); !writable) return writable;
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot query " + shownName, code), code);
    }
    const std::optional<MountEntry> mount = ranges_.empty() ? std::nullopt : MountOf(folder.st_dev);
    const std::optional<struct stat> mountSource = mount ? MountSourceFile(mount->source) : std::nullopt;
    for (const SourceDevice& range : ranges_) {
        bool onSource = WritesOntoSource(folder.st_dev, range, sysRoot_);
        if (!onSource && mountSource) {
            // A FUSE mount has no block device of its own: what it was mounted from tells.
            onSource =
                FileIdentity{mountSource->st_dev, mountSource->st_ino} == IdentityOf(range.canonicalPath) ||
                (S_ISBLK(mountSource->st_mode) && WritesOntoSource(mountSource->st_rdev, range, sysRoot_));
        }
        if (onSource) {
            return Refusal(shownName + " is on a disk or image being read; nothing is ever written there.");
        }
    }
    return {};
}

Result<FileDescriptor> OutputGuard::Create(int folderFd, const std::string& name, int mode,
                                           bool readBack) const {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return Refusal("'" + name + "' is not a file name");
    }
    FileDescriptor file(::openat(folderFd, name.c_str(),
                                 (readBack ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 static_cast<mode_t>(mode)));
    if (!file.valid()) {
        const int code = errno;
        return Error::Io(SystemText("Cannot create file " + name, code), code);
    }
    return file;
}

Result<void> OutputGuard::CheckExisting(int folderFd, const std::string& name) const {
    struct stat existing {};
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot query file " + name, code), code);
    }
    if (S_ISLNK(existing.st_mode)) {
        return Refusal(name + " is a symbolic link; files are never written through one");
    }
    if (!S_ISREG(existing.st_mode)) return Refusal(name + " exists and is not a regular file");
    if (IsSource({existing.st_dev, existing.st_ino})) return Refusal(name + " is a disk or image being read");
    return {};
}

Result<FileDescriptor> OutputGuard::OpenExisting(int folderFd, const std::string& name, bool readBack) const {
    struct stat existing {};
    if (::fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot query file " + name, code), code);
    }
    if (auto allowed = CheckExisting(folderFd, name); !allowed) return allowed.error();
    // O_NONBLOCK: should a FIFO have taken the file's place since the check, opening it must not hang.
    FileDescriptor file(::openat(folderFd, name.c_str(),
                                 (readBack ? O_RDWR : O_WRONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!file.valid() || ::fstat(file.get(), &opened) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot open file " + name, code), code);
    }
    if (opened.st_dev != existing.st_dev || opened.st_ino != existing.st_ino) {
        return Refusal(name + " changed while it was being opened");
    }
    return file;
}

Result<FileDescriptor> OutputGuard::Open(const fs::path& file, bool overwriteConfirmed, int mode,
                                         bool readBack) const {
    const fs::path name = file.filename();
    if (name.empty() || name == "." || name == "..") return Refusal(file.string() + " is not a file name");
    fs::path folderPath = file.parent_path();
    if (folderPath.empty()) folderPath = ".";
    FileDescriptor folder(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        const int code = errno;
        return Error::Io(SystemText("Cannot open the folder " + folderPath.string(), code), code);
    }
    if (auto allowed = CheckFolder(folder.get(), folderPath.string()); !allowed) return allowed.error();
    Result<FileDescriptor> created = Create(folder.get(), name.string(), mode, readBack);
    if (created || created.error().systemCode != EEXIST) return created;
    if (!overwriteConfirmed) return Refusal(file.string() + " already exists");
    Result<FileDescriptor> existing = OpenExisting(folder.get(), name.string(), readBack);
    if (existing && ::ftruncate(existing->get(), 0) != 0) {
        const int code = errno;
        return Error::Io(SystemText("Cannot empty " + file.string(), code), code);
    }
    return existing;
}

bool WriteAllTo(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace lumacore
