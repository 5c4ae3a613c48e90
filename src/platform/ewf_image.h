#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/device.h"

namespace lumacore {

// Whether the file at `path` starts with the EWF (E01) signature.
bool IsEwfImage(const std::string& path);

// An Expert Witness (E01) image read through libewf as the disk it holds: the media's bytes, whatever
// the compression and however many segment files (.E01, .E02, ...) carry them. Read-only.
class EwfImage final : public BlockDevice {
  public:
    // Opens the set `path` (the first segment) belongs to. A damaged or truncated set is an error that
    // says what libewf found wrong, never a source that reads garbage.
    static Result<std::unique_ptr<EwfImage>> Open(const std::string& path);
    ~EwfImage() override;
    EwfImage(const EwfImage&) = delete;
    EwfImage& operator=(const EwfImage&) = delete;

    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
    Result<void> WriteAt(std::uint64_t offset, std::span<const std::byte> data) override;
    Result<void> Flush() override { return {}; }
    std::uint64_t Size() const override { return size_; }

  private:
    struct Handle;
    EwfImage(std::unique_ptr<Handle> handle, std::string path, std::uint64_t size);

    std::unique_ptr<Handle> handle_;
    std::string path_;
    std::uint64_t size_ = 0;
    std::mutex mutex_;  // a libewf handle reads one request at a time
};

}  // namespace lumacore
