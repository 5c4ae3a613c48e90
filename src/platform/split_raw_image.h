#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"

namespace lumacore {

// The segment files of a split raw image named by its first one ("disk.001" → disk.001, disk.002, ...,
// up to the first number missing), in order; empty when `path` does not end in a number of three or
// more digits that is 1.
std::vector<std::string> SplitRawSegments(const std::string& path);

// A raw image cut into pieces (`split -d`, or acquisition tools' .001/.002/...) read as the one disk it
// is. Every segment but the last may be of any size; reads run across their seams. Read-only.
class SplitRawImage final : public BlockDevice {
  public:
    // At least two segments; each is opened read-only.
    static Result<std::unique_ptr<SplitRawImage>> Open(const std::vector<std::string>& segments);

    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
    Result<void> WriteAt(std::uint64_t offset, std::span<const std::byte> data) override;
    Result<void> Flush() override { return {}; }
    std::uint64_t Size() const override { return size_; }

  private:
    struct Segment {
        std::unique_ptr<Device> device;
        std::uint64_t start = 0;  // where its bytes begin in the whole image
    };
    explicit SplitRawImage(std::vector<Segment> segments, std::uint64_t size)
        : segments_(std::move(segments)), size_(size) {}

    std::vector<Segment> segments_;
    std::uint64_t size_ = 0;
};

}  // namespace lumacore
