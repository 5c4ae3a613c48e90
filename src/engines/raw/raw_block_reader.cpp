#include "engines/raw/raw_block_reader.h"

#include <algorithm>

namespace lumacore {

void AlignedBuffer::Reserve(std::size_t size) {
    if (size <= size_) return;
    data_.reset(static_cast<std::byte*>(::operator new[](size, std::align_val_t{kAlignment})));
    size_ = size;
}

RawBlockReader::RawBlockReader(ByteSource& source, std::uint64_t partitionOffset, std::uint64_t start,
                               std::uint64_t end, std::size_t chunkBytes, std::size_t tailBytes,
                               std::size_t lookahead, bool readAhead)
    : source_(source),
      partitionOffset_(partitionOffset),
      end_(end),
      chunkBytes_(chunkBytes),
      tailBytes_(tailBytes),
      lookahead_(lookahead),
      nextPos_(start) {
    if (readAhead && start < end) {
        threaded_ = true;
        producer_ = std::thread([this] { Produce(); });
    }
}

RawBlockReader::~RawBlockReader() {
    if (threaded_) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            quit_ = true;
        }
        changed_.notify_all();
        producer_.join();
    }
}

bool RawBlockReader::PlanNext(std::uint64_t& pos, std::size_t& size) {
    if (nextPos_ >= end_) return false;
    const std::uint64_t remaining = end_ - nextPos_;
    pos = nextPos_;
    size = remaining >= chunkBytes_
               ? chunkBytes_
               : static_cast<std::size_t>(std::min<std::uint64_t>(tailBytes_, remaining));
    nextPos_ += size;
    return true;
}

void RawBlockReader::Fill(RawReadBlock& block, std::uint64_t pos, std::size_t size) {
    block.pos = pos;
    block.size = size;
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(size + lookahead_, end_ - pos));
    block.bytes.Reserve(wanted);
    auto read = source_.ReadAt(partitionOffset_ + pos, std::span<std::byte>(block.bytes.data(), wanted));
    if (!read && wanted > size) {
        // The look-ahead may reach a bad area the block itself does not: keep the block's own sectors.
        read = source_.ReadAt(partitionOffset_ + pos, std::span<std::byte>(block.bytes.data(), size));
    }
    block.valid = read ? *read : 0;
}

void RawBlockReader::Produce() {
    for (;;) {
        std::unique_ptr<RawReadBlock> block;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return quit_ || ready_.size() < kQueueDepth; });
            if (quit_) return;
            if (!spare_.empty()) {
                block = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        if (!block) block = std::make_unique<RawReadBlock>();
        std::uint64_t pos = 0;
        std::size_t size = 0;
        const bool more = PlanNext(pos, size);
        if (more) Fill(*block, pos, size);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (more) {
                ready_.push_back(std::move(block));
            } else {
                producerDone_ = true;
            }
        }
        changed_.notify_all();
        if (!more) return;
    }
}

const RawReadBlock* RawBlockReader::Next() {
    if (!threaded_) {
        if (!current_) current_ = std::make_unique<RawReadBlock>();
        std::uint64_t pos = 0;
        std::size_t size = 0;
        if (!PlanNext(pos, size)) return nullptr;
        Fill(*current_, pos, size);
        return current_.get();
    }
    std::unique_lock<std::mutex> guard(lock_);
    if (current_) spare_.push_back(std::move(current_));
    changed_.notify_all();
    changed_.wait(guard, [&] { return !ready_.empty() || producerDone_; });
    if (ready_.empty()) return nullptr;
    current_ = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return current_.get();
}

}  // namespace lumacore
