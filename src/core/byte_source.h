#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/result.h"

namespace lumacore {

// The one interface every reader of a disk goes through: a device, an image file or a memory buffer.
// ReadAt fills as much of `out` as the source holds at `offset` and returns the count; a count below
// out.size() means the source ended there (a short read), never a silent success.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
    virtual std::uint64_t Size() const = 0;
};

// Reads exactly out.size() bytes or fails; a short read is a failure that names the offset.
Result<void> ReadExact(ByteSource& source, std::uint64_t offset, std::span<std::byte> out);

// A source over bytes held in memory (tests, fuzz targets, buffers already read).
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::byte> out) override;
    std::uint64_t Size() const override { return bytes_.size(); }
    std::vector<std::byte>& bytes() { return bytes_; }

private:
    std::vector<std::byte> bytes_;
};

}  // namespace lumacore
