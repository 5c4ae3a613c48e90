#include "recovery/background_hasher.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace lumacore {

BackgroundHasher::~BackgroundHasher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void BackgroundHasher::Add(Sha256& digest, std::span<const std::byte> data) {
    while (!data.empty()) {
        const std::size_t length = std::min(data.size(), kBlockBytes);
        std::unique_ptr<std::byte[]> buffer;
        {
            std::unique_lock lock(mutex_);
            if (!worker_.joinable() && !noWorker_) {
                try {
                    worker_ = std::thread([this] { Run(); });
                } catch (const std::system_error&) {
                    noWorker_ = true;  // no thread to be had: hash here, only slower
                }
            }
            if (noWorker_) {
                lock.unlock();
                digest.Update(data);
                return;
            }
            if (spare_.empty() && buffersMade_ >= kBuffers)
                changed_.wait(lock, [this] { return !spare_.empty(); });
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        if (!buffer) {
            // Not under the lock: only this thread makes buffers.
            buffer = std::make_unique_for_overwrite<std::byte[]>(kBlockBytes);
            ++buffersMade_;
        }
        std::memcpy(buffer.get(), data.data(), length);
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({&digest, std::move(buffer), length});
        }
        changed_.notify_all();
        data = data.subspan(length);
    }
}

void BackgroundHasher::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() && !working_; });
}

void BackgroundHasher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left to hash
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        working_ = true;
        lock.unlock();
        job.digest->Update(std::span<const std::byte>(job.buffer.get(), job.length));
        lock.lock();
        working_ = false;
        spare_.push_back(std::move(job.buffer));
        changed_.notify_all();
    }
}

}  // namespace lumacore
