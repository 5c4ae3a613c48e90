#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/result.h"

namespace lumacore {

// The file a recovered file's data goes into, as the copy step sees it: bytes are appended from offset
// 0 on, or skipped to leave a hole; nothing else can be done to the file. The writer owns the descriptor.
class OutputFile {
public:
    OutputFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

    // Appends all of `data` at the current position or fails; a short write is a failure.
    Result<void> Write(std::span<const std::byte> data);

    // Moves on by `bytes` without writing: the range stays a hole (it reads as zeros and takes no space)
    // once the writer sets the file's size.
    Result<void> Skip(std::uint64_t bytes);

    // Where the next byte goes: bytes written and skipped.
    std::uint64_t written() const { return written_; }
    const std::string& name() const { return name_; }

private:
    int fd_;
    std::string name_;  // for error messages
    std::uint64_t written_ = 0;
};

}  // namespace lumacore
