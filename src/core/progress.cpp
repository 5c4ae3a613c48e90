#include "core/progress.h"

namespace lumacore {

void ProgressFields::SetText(std::string text) {
    std::lock_guard lock(textLock_);
    text_ = std::move(text);
}

std::string ProgressFields::Text() const {
    std::lock_guard lock(textLock_);
    return text_;
}

void ProgressFields::Start(std::string text, std::int64_t total) {
    SetText(std::move(text));
    SetTotal(total);
    SetDone(0);
}

const StopToken& StopOrNever(const StopToken* stop) {
    static const StopToken never;
    return stop != nullptr ? *stop : never;
}

}  // namespace lumacore
