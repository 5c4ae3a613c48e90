#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/byte_source.h"
#include "core/result.h"

namespace lumacore {

// Source devices are opened read-only; only partition restore asks for write access.
enum class AccessMode { ReadOnly, ReadWrite };

// A disk, partition or image that can be read and (when opened for it) written at 64-bit byte positions.
class BlockDevice : public ByteSource {
public:
    // Writes all of `data` at `offset` or fails; a short write is a failure.
    virtual Result<void> WriteAt(std::uint64_t offset, std::span<const std::byte> data) = 0;
    virtual Result<void> Flush() = 0;
};

// A device node or image file behind a file descriptor.
class Device final : public BlockDevice {
public:
    static Result<std::unique_ptr<Device>> Open(const std::string& path, AccessMode mode);
    ~Device() override;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
    Result<void> WriteAt(std::uint64_t offset, std::span<const std::byte> data) override;
    Result<void> Flush() override;
    std::uint64_t Size() const override { return size_; }

    const std::string& path() const { return path_; }
    bool isBlockDevice() const { return isBlockDevice_; }
    int descriptor() const { return fd_; }

private:
    Device(int fd, std::string path, std::uint64_t size, bool isBlockDevice)
        : fd_(fd), path_(std::move(path)), size_(size), isBlockDevice_(isBlockDevice) {}

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    bool isBlockDevice_ = false;
};

// Asks the kernel to read a block device's partition table again after it was rewritten.
Result<void> RereadPartitionTable(const std::string& devicePath);

// An in-memory device whose bytes the owner can inspect after writes (tests and dry runs).
class MemoryDevice final : public BlockDevice {
public:
    explicit MemoryDevice(std::shared_ptr<std::vector<std::byte>> bytes) : bytes_(std::move(bytes)) {}

    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
    Result<void> WriteAt(std::uint64_t offset, std::span<const std::byte> data) override;
    Result<void> Flush() override { return {}; }
    std::uint64_t Size() const override { return bytes_->size(); }

private:
    std::shared_ptr<std::vector<std::byte>> bytes_;
};

}  // namespace lumacore
