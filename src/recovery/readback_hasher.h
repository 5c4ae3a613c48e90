#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/result.h"
#include "core/sha256.h"
#include "platform/file_descriptor.h"

namespace lumacore {

// Adds a written file's bytes to `digest`: [0, dataEnd) read back through `fd`, then zeros up to `size`
// (a trailing hole not yet given its length). A file that ends before dataEnd is an error.
Result<void> HashWrittenBytes(int fd, std::uint64_t dataEnd, std::uint64_t size, Sha256& digest);

// Hashes finished files by reading them back while the writer goes on with the next ones. A file just
// written is still in the page cache, so reading it back costs a copy, not a disk read; what this buys
// is that several files are hashed at once, one per worker, where hashing the bytes on their way out
// runs one file's digest after another's on a single core (sha256 is slower than writing).
class ReadBackHasher {
  public:
    static constexpr std::size_t kChunkBytes = 1 << 20;

    // Workers: at most that many files are hashed at once, and at most that many more wait.
    explicit ReadBackHasher(unsigned workers = DefaultWorkers());
    ~ReadBackHasher();
    ReadBackHasher(const ReadBackHasher&) = delete;
    ReadBackHasher& operator=(const ReadBackHasher&) = delete;

    // One per core, up to four.
    static unsigned DefaultWorkers();

    // Queues the file behind `fd` (open for reading; closed once hashed), `size` bytes from offset 0.
    // Waits while the queue is full.
    void Add(FileDescriptor fd, std::uint64_t size);

    // Waits for every file queued so far and returns their digests (hex) or read errors, in the order
    // they were added; the next call returns only what was added after this one.
    std::vector<Result<std::string>> TakeAll();

  private:
    struct Job {
        std::size_t index;
        FileDescriptor fd;
        std::uint64_t size;
    };

    void Run();

    std::mutex mutex_;
    std::condition_variable workReady_;  // workers wait for jobs
    std::condition_variable progress_;   // the caller waits for room in the queue, or for the end
    std::deque<Job> jobs_;
    std::vector<Result<std::string>> results_;
    std::size_t unfinished_ = 0;
    std::size_t maxWaiting_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace lumacore
