#include "engines/ntfs/ntfs_mft_stream.h"

#include <algorithm>
#include <future>
#include <system_error>
#include <utility>
#include <vector>

namespace lumacore {

NtfsMftStream::NtfsMftStream(Reader read, std::uint64_t recordCount, std::uint32_t recordSize)
    : read_(std::move(read)), recordCount_(recordCount), recordSize_(recordSize) {}

void NtfsMftStream::ForEachWindow(const Taker& take) const {
    if (recordSize_ == 0 || recordCount_ == 0) return;
    const std::uint64_t windowRecords = std::max<std::uint64_t>(1, kWindowBytes / recordSize_);
    const auto fill = [&](std::vector<std::byte>& buffer, std::uint64_t first) {
        const std::uint64_t records = std::min(windowRecords, recordCount_ - first);
        buffer.resize(static_cast<std::size_t>(records * recordSize_));
        read_(first * recordSize_, buffer);
    };

    std::vector<std::byte> current;
    std::vector<std::byte> next;
    fill(current, 0);
    for (std::uint64_t first = 0; first < recordCount_;) {
        const std::uint64_t following = first + current.size() / recordSize_;
        std::future<void> ahead;
        if (following < recordCount_) {
            try {
                ahead = std::async(std::launch::async, [&, following] { fill(next, following); });
            } catch (const std::system_error&) {
                // No thread to be had: read after the parse instead of beside it.
            }
        }
        const bool readAhead = ahead.valid();
        const bool more = take(first, current);
        if (readAhead) ahead.get();
        if (!more) return;
        if (following < recordCount_ && !readAhead) fill(next, following);
        std::swap(current, next);
        first = following;
    }
}

}  // namespace lumacore
