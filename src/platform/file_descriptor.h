#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace lumacore {

// Owns one open file descriptor; -1 when empty.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Hands the descriptor to a caller that owns it from now on.
    int Release() { return std::exchange(fd_, -1); }
    bool valid() const { return fd_ >= 0; }

    // Closes now and reports close()'s errno (0 when fine): on network file systems a failed close is
    // the first sign that written data never arrived.
    int Close() {
        if (fd_ < 0) return 0;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    void Reset() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

    int fd_ = -1;
};

}  // namespace lumacore
