#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace lumacore {

// Reads an MFT front to back in large windows of whole records and hands each window on as it
// arrives. The next window is read on a thread of its own while the current one is parsed, so that
// a cold disk and the parse keep each other busy; two windows are all the memory it holds.
class NtfsMftStream {
  public:
    // 4 MiB reads are past the point where larger ones read faster, and two of them stay far below
    // what a scan of a large volume keeps for its tree.
    static constexpr std::size_t kWindowBytes = std::size_t{4} << 20;

    // Fills the buffer with the MFT's bytes from a position on; damage reads as zeros.
    using Reader = std::function<void(std::uint64_t position, std::span<std::byte> out)>;
    // Takes the records of one window and the number of its first record; false stops the stream.
    using Taker = std::function<bool(std::uint64_t firstRecord, std::span<const std::byte> records)>;

    NtfsMftStream(Reader read, std::uint64_t recordCount, std::uint32_t recordSize);

    // Hands every window to `take`, in order, until the MFT ends or `take` says stop.
    void ForEachWindow(const Taker& take) const;

  private:
    Reader read_;
    std::uint64_t recordCount_;
    std::uint32_t recordSize_;
};

}  // namespace lumacore
