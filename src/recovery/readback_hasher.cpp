#include "recovery/readback_hasher.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

namespace lumacore {

Result<void> HashWrittenBytes(int fd, std::uint64_t dataEnd, std::uint64_t size, Sha256& digest) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(dataEnd, ReadBackHasher::kChunkBytes));
    const auto buffer = std::make_unique_for_overwrite<std::byte[]>(std::max<std::size_t>(chunk, 1));
    std::uint64_t at = 0;
    while (at < dataEnd) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, dataEnd - at));
        const ssize_t n = ::pread(fd, buffer.get(), want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            return Error::Io(std::string("Cannot read the written file back: ") + std::strerror(code), code, at);
        }
        if (n == 0) return Error::Io("The written file is shorter than what was written to it", EIO, at);
        digest.Update(std::span<const std::byte>(buffer.get(), static_cast<std::size_t>(n)));
        at += static_cast<std::uint64_t>(n);
    }
    static constexpr std::array<std::byte, 64 * 1024> kZeros{};
    for (std::uint64_t left = size > dataEnd ? size - dataEnd : 0; left > 0;) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kZeros.size()));
        digest.Update(std::span<const std::byte>(kZeros.data(), piece));
        left -= piece;
    }
    return {};
}

unsigned ReadBackHasher::DefaultWorkers() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

ReadBackHasher::ReadBackHasher(unsigned workers) : maxWaiting_(std::max(workers, 1u)) {
    for (unsigned i = 0; i < std::max(workers, 1u); ++i) {
        try {
            workers_.emplace_back([this] { Run(); });
        } catch (const std::system_error&) {
            break;  // fewer workers; with none, Add hashes in the caller's thread
        }
    }
}

ReadBackHasher::~ReadBackHasher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void ReadBackHasher::Add(FileDescriptor fd, std::uint64_t size) {
    std::unique_lock lock(mutex_);
    const std::size_t index = results_.size();
    results_.emplace_back(std::string());
    ++unfinished_;
    if (workers_.empty()) {
        lock.unlock();
        Sha256 digest;
        Result<void> hashed = HashWrittenBytes(fd.get(), size, size, digest);
        lock.lock();
        results_[index] = hashed ? Result<std::string>(digest.HexDigest()) : Result<std::string>(hashed.error());
        --unfinished_;
        return;
    }
    progress_.wait(lock, [this] { return jobs_.size() < maxWaiting_; });
    jobs_.push_back({index, std::move(fd), size});
    lock.unlock();
    workReady_.notify_one();
}

std::vector<Result<std::string>> ReadBackHasher::TakeAll() {
    std::unique_lock lock(mutex_);
    progress_.wait(lock, [this] { return unfinished_ == 0; });
    std::vector<Result<std::string>> taken = std::move(results_);
    results_.clear();
    return taken;
}

void ReadBackHasher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        workReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and nothing left to hash
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        progress_.notify_all();  // room in the queue
        lock.unlock();
        Sha256 digest;
        const Result<void> hashed = HashWrittenBytes(job.fd.get(), job.size, job.size, digest);
        Result<std::string> result =
            hashed ? Result<std::string>(digest.HexDigest()) : Result<std::string>(hashed.error());
        job.fd = FileDescriptor();
        lock.lock();
        results_[job.index] = std::move(result);
        --unfinished_;
        if (unfinished_ == 0) progress_.notify_all();
    }
}

}  // namespace lumacore
