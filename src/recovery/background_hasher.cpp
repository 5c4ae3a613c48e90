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
    workReady_.notify_one();
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
            if (spare_.empty() && buffersMade_ >= kBuffers) {
                // Back only once half the buffers are free: on a busy machine every wake-up waits for a
                // core, so the two threads should meet as seldom as they can.
                callerWaiting_ = true;
                bufferFree_.wait(lock, [this] { return spare_.size() >= kBuffers / 2; });
                callerWaiting_ = false;
            }
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
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({&digest, std::move(buffer), length});
            wake = workerIdle_;
        }
        if (wake) workReady_.notify_one();
        data = data.subspan(length);
    }
}

void BackgroundHasher::Wait() {
    std::unique_lock lock(mutex_);
    callerWaiting_ = true;
    bufferFree_.wait(lock, [this] { return jobs_.empty() && !working_; });
    callerWaiting_ = false;
}

void BackgroundHasher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            if (stopping_) return;
            workerIdle_ = true;
            workReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            workerIdle_ = false;
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        working_ = true;
        lock.unlock();
        job.digest->Update(std::span<const std::byte>(job.buffer.get(), job.length));
        lock.lock();
        working_ = false;
        spare_.push_back(std::move(job.buffer));
        if (callerWaiting_ && (jobs_.empty() || spare_.size() >= kBuffers / 2)) bufferFree_.notify_one();
    }
}

}  // namespace lumacore
