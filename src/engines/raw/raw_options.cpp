#include "engines/raw/raw_options.h"

#include "core/size_text.h"

namespace lumacore {

RawOptions::RawOptions(std::uint32_t lowest, std::uint32_t highest, std::uint32_t scanStart,
                       std::uint32_t scanEnd, int sizeLimitKb, RawTypeSelection& selection)
    : lowest_(lowest),
      highest_(highest),
      start_(scanStart == 0 ? lowest : scanStart),
      end_(scanEnd == 0 ? highest : scanEnd),
      sizeLimit_(sizeLimitKb),
      selection_(selection) {
    selection_.EnsureLoaded();
    const auto& entries = selection_.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].description == entries[i - 1].description) continue;
        rows_.push_back(Row{entries[i].extension, entries[i].description, i, entries[i].enabled});
    }
}

std::string RawOptions::LowestText() const {
    return Format("> %u", lowest_);
}
std::string RawOptions::HighestText() const {
    return Format("< %u", highest_);
}
std::string RawOptions::TotalText() const {
    return Format("%lld", static_cast<long long>(highest_) - static_cast<long long>(lowest_));
}

void RawOptions::SelectAll() {
    for (Row& row : rows_) row.checked = true;
}

void RawOptions::DeselectAll() {
    for (Row& row : rows_) row.checked = false;
}

RawOptions::Outcome RawOptions::Accept(std::int64_t start, std::int64_t end, int sizeLimitKb) {
    Outcome outcome;
    if (start < lowest_) {
        outcome.verdict = Verdict::StartTooLow;
        outcome.message = Format("Start sector is not valid. This must be bigger than %u", lowest_);
        outcome.resetStart = start_ = lowest_;
        return outcome;
    }
    if (end > highest_) {
        outcome.verdict = Verdict::EndTooHigh;
        outcome.message = Format("End sector is not valid. This must be less than %u", highest_);
        outcome.resetEnd = end_ = highest_;
        return outcome;
    }
    if (start >= end) {
        outcome.verdict = Verdict::StartNotBeforeEnd;
        outcome.message = "Start sector must be less than end sector";
        outcome.resetStart = start_ = lowest_;
        return outcome;
    }
    start_ = static_cast<std::uint32_t>(start);
    end_ = static_cast<std::uint32_t>(end);
    sizeLimit_ = sizeLimitKb;
    // Each row speaks for its own run of entries. (Applying a row to every later entry of its
    // description would let a second run of that description overrule part of the first run.)
    auto& entries = selection_.entries();
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const std::size_t runEnd = r + 1 < rows_.size() ? rows_[r + 1].firstEntry : entries.size();
        for (std::size_t e = rows_[r].firstEntry; e < runEnd && e < entries.size(); ++e) {
            entries[e].enabled = rows_[r].checked;
        }
    }
    return outcome;
}

}  // namespace lumacore
