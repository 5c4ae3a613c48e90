#include "cli/progress_line.h"

#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>

namespace lumacore {

ProgressLine::ProgressLine(const ProgressFields& progress) : progress_(progress) {
    active_ = ::isatty(STDERR_FILENO) == 1;
    if (!active_) return;
    painter_ = std::thread([this] {
        while (!done_.load()) {
            Draw();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
}

ProgressLine::~ProgressLine() {
    if (!active_) return;
    done_.store(true);
    painter_.join();
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

void ProgressLine::Draw() {
    const std::int64_t total = progress_.Total();
    const std::int64_t done = progress_.Done();
    std::string text = progress_.Text();
    if (text.size() > 60) text = text.substr(0, 57) + "...";
    if (total > 0) {
        std::fprintf(stderr, "\r\033[K%s  %3d%%", text.c_str(), static_cast<int>(std::min<std::int64_t>(done, total) * 100 / total));
    } else {
        std::fprintf(stderr, "\r\033[K%s", text.c_str());
    }
    std::fflush(stderr);
}

}  // namespace lumacore
