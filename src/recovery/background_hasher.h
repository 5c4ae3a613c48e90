#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "core/sha256.h"

namespace lumacore {

// Hashes large blocks on a second thread while the writer reads and writes the next ones: on two cores
// hashing then costs no time of its own. One worker, so blocks reach their digests in the order they
// were handed over. A block is copied on hand-over (the reader reuses its buffer at once); at most
// kBuffers blocks wait at a time, and a hand-over beyond that waits for the worker (until half of them
// are free, so that the threads meet seldom), which bounds the memory to kBuffers * kBlockBytes.
class BackgroundHasher {
  public:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    static constexpr std::size_t kBuffers = 8;

    BackgroundHasher() = default;
    ~BackgroundHasher();
    BackgroundHasher(const BackgroundHasher&) = delete;
    BackgroundHasher& operator=(const BackgroundHasher&) = delete;

    // Adds `data` to `digest` on the worker, after everything handed over before. The digest must stay
    // alive and untouched until Wait returns.
    void Add(Sha256& digest, std::span<const std::byte> data);

    // Returns once everything handed over is in its digest.
    void Wait();

  private:
    struct Job {
        Sha256* digest;
        std::unique_ptr<std::byte[]> buffer;
        std::size_t length;
    };

    void Run();

    std::mutex mutex_;
    std::condition_variable workReady_;   // the worker waits for jobs
    std::condition_variable bufferFree_;  // the caller waits for buffers, or for all to be hashed
    std::deque<Job> jobs_;                             // waiting, oldest first
    std::vector<std::unique_ptr<std::byte[]>> spare_;  // buffers free for the next hand-over
    std::size_t buffersMade_ = 0;
    bool working_ = false;  // the worker holds a job outside the lock
    bool workerIdle_ = false;     // the worker waits on workReady_
    bool callerWaiting_ = false;  // the caller waits on bufferFree_
    bool stopping_ = false;
    bool noWorker_ = false;  // the system would not start a thread
    std::thread worker_;  // started with the first block
};

}  // namespace lumacore
