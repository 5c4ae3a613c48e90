#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/byte_source.h"

namespace lumacore {

// A read buffer aligned to a memory page. The kernel copies cached file data fastest when the buffer
// and the file offset share their alignment (a heap buffer 16 bytes off a page boundary made whole-disk
// reads several times slower than a plain read of the same file); sector offsets are multiples of 512.
class AlignedBuffer {
  public:
    static constexpr std::size_t kAlignment = 4096;

    std::byte* data() { return data_.get(); }
    const std::byte* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    // Makes room for `size` bytes; the contents are not kept.
    void Reserve(std::size_t size);

  private:
    struct Free {
        void operator()(std::byte* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
    };
    std::unique_ptr<std::byte[], Free> data_;
    std::size_t size_ = 0;
};

// One read of the signature scan: the sectors [pos, pos + size) of the range, followed by up to
// `lookahead` further bytes of the range so that every sector's window lies in one buffer.
struct RawReadBlock {
    std::uint64_t pos = 0;  // relative to the partition
    std::size_t size = 0;   // bytes of sectors this block is for
    std::size_t valid =
        0;  // bytes read (0 when the read failed; less than size + look-ahead at a short read)
    AlignedBuffer bytes;
};

// Reads a range in the scan's steps: chunks while a whole chunk remains, then tail steps, the last
// one cut at the range's end. With read-ahead a second thread reads the next blocks while the caller
// matches the current one.
class RawBlockReader {
  public:
    RawBlockReader(ByteSource& source, std::uint64_t partitionOffset, std::uint64_t start, std::uint64_t end,
                   std::size_t chunkBytes, std::size_t tailBytes, std::size_t lookahead, bool readAhead);
    ~RawBlockReader();
    RawBlockReader(const RawBlockReader&) = delete;
    RawBlockReader& operator=(const RawBlockReader&) = delete;

    // The next block, valid until the next call; null after the last.
    const RawReadBlock* Next();

  private:
    // Blocks waiting to be matched; with more the reader thread waits. Four (8 MiB) let the reader run on
    // through a moment when the matching thread is not scheduled, which two did not.
    static constexpr std::size_t kQueueDepth = 4;

    bool PlanNext(std::uint64_t& pos, std::size_t& size);
    void Fill(RawReadBlock& block, std::uint64_t pos, std::size_t size);
    void Produce();

    ByteSource& source_;
    std::uint64_t partitionOffset_;
    std::uint64_t end_;
    std::size_t chunkBytes_;
    std::size_t tailBytes_;
    std::size_t lookahead_;
    std::uint64_t nextPos_;

    std::unique_ptr<RawReadBlock> current_;
    // Read-ahead state.
    bool threaded_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<RawReadBlock>> ready_;
    std::vector<std::unique_ptr<RawReadBlock>> spare_;
    bool producerDone_ = false;
    bool quit_ = false;
    std::thread producer_;
};

}  // namespace lumacore
