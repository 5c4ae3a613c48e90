#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace lumacore {

// The progress of the running job: written by one worker, read by the UI thread on a timer (or by the
// command line's progress line). A momentarily stale value is fine; a torn string is not, so the text
// sits behind a lock and the counters are atomics.
class ProgressFields {
public:
    void SetText(std::string text);
    std::string Text() const;

    void SetTotal(std::int64_t total) { total_.store(total, std::memory_order_relaxed); }
    void SetDone(std::int64_t done) { done_.store(done, std::memory_order_relaxed); }
    void AddDone(std::int64_t n) { done_.fetch_add(n, std::memory_order_relaxed); }
    std::int64_t Total() const { return total_.load(std::memory_order_relaxed); }
    std::int64_t Done() const { return done_.load(std::memory_order_relaxed); }

    // Text first, then total and done, as a worker starting a new phase does.
    void Start(std::string text, std::int64_t total);

private:
    mutable std::mutex textLock_;
    std::string text_;
    std::atomic<std::int64_t> total_{0};
    std::atomic<std::int64_t> done_{0};
};

// The running flag a job polls; the UI clears it to ask the job to stop.
class StopToken {
public:
    void RequestStop() { stop_.store(true, std::memory_order_relaxed); }
    void Reset() { stop_.store(false, std::memory_order_relaxed); }
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> stop_{false};
};

// `stop` when there is one, else a token that never asks to stop.
const StopToken& StopOrNever(const StopToken* stop);

}  // namespace lumacore
