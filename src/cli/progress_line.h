#pragma once

#include <atomic>
#include <thread>

#include "core/progress.h"

namespace lumacore {

// Shows a job's progress on stderr, redrawn in place a few times a second, while it runs. Quiet when
// stderr is not a terminal, so scripts and logs get only the results.
class ProgressLine {
public:
    explicit ProgressLine(const ProgressFields& progress);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    void Draw();

    const ProgressFields& progress_;
    std::atomic<bool> done_{false};
    std::thread painter_;
    bool active_ = false;
};

}  // namespace lumacore
