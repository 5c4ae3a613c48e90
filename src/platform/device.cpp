#include "platform/device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/device_helper_client.h"

namespace lumacore {

namespace {

Error SystemError(const std::string& what, const std::string& path, int code, std::uint64_t offset = 0) {
    Error e = Error::Io(what + " " + path + ": " + std::strerror(code), code, offset);
    if (code == EACCES || code == EPERM) e.kind = ErrorKind::AccessDenied;
    if (code == ENOENT) e.kind = ErrorKind::NotFound;
    return e;
}

// A block device this process has no right to open is opened by the privileged helper after the user
// authorises; image files never are (they are the user's own).
Result<int> OpenDescriptor(const std::string& path, AccessMode mode) {
    const int flags = (mode == AccessMode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd >= 0) return fd;
    const int code = errno;
    struct stat st {};
    if ((code != EACCES && code != EPERM) || ::geteuid() == 0 || ::stat(path.c_str(), &st) != 0 ||
        !S_ISBLK(st.st_mode)) {
        return SystemError("cannot open", path, code);
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    auto opened = OpenThroughHelper(error ? path : absolute.string(), mode);
    if (!opened) return opened.error();
    return opened->Release();
}

}  // namespace

Result<std::unique_ptr<Device>> Device::Open(const std::string& path, AccessMode mode) {
    auto opened = OpenDescriptor(path, mode);
    if (!opened) return opened.error();
    const int fd = *opened;

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return SystemError("cannot query", path, code);
    }
    std::uint64_t size = 0;
    const bool isBlock = S_ISBLK(st.st_mode);
    if (isBlock) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
            const int code = errno;
            ::close(fd);
            return SystemError("cannot get the size of", path, code);
        }
    } else if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
    } else {
        ::close(fd);
        return Error::Make(ErrorKind::Unsupported, path + " is neither a block device nor a regular file");
    }
    return std::unique_ptr<Device>(new Device(fd, path, size, isBlock));
}

Device::~Device() {
    if (fd_ >= 0) ::close(fd_);
}

Result<std::size_t> Device::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || at > static_cast<std::uint64_t>(INT64_MAX)) break;  // past any possible end
        const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemError("read error on", path_, errno, at);
        }
        if (n == 0) break;  // end of device: the caller sees a short count
        done += static_cast<std::size_t>(n);
    }
    return done;
}

Result<void> Device::WriteAt(std::uint64_t offset, std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t at = offset + done;
        const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemError("write error on", path_, errno, at);
        }
        if (n == 0) return Error::Io("short write on " + path_, 0, at);
        done += static_cast<std::size_t>(n);
    }
    return {};
}

Result<void> Device::Flush() {
    if (::fsync(fd_) != 0) return SystemError("cannot flush", path_, errno);
    return {};
}

Result<void> RereadPartitionTable(const std::string& devicePath) {
    const int fd = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemError("cannot open", devicePath, errno);
    const int result = ::ioctl(fd, BLKRRPART);
    const int code = errno;
    ::close(fd);
    if (result != 0)
        return SystemError("the kernel could not re-read the partition table of", devicePath, code);
    return {};
}

Result<std::size_t> MemoryDevice::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    if (offset >= bytes_->size()) return std::size_t{0};
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_->size() - offset));
    std::memcpy(out.data(), bytes_->data() + offset, n);
    return n;
}

Result<void> MemoryDevice::WriteAt(std::uint64_t offset, std::span<const std::byte> data) {
    if (offset > bytes_->size() || data.size() > bytes_->size() - offset) {
        return Error::Io("write past the end of the device", 0, offset);
    }
    std::memcpy(bytes_->data() + offset, data.data(), data.size());
    return {};
}

}  // namespace lumacore
