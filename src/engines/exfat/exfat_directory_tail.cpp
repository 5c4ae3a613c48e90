#include "engines/exfat/exfat_directory_tail.h"

#include <algorithm>

namespace lumacore {

namespace {

// A set is at most 19 entries long, so the rest of a cut one lies within the next 18 entries.
constexpr std::size_t kMaxSetEntries = 19;

}  // namespace

DirectoryTail TailOf(std::span<const std::byte> cluster) {
    DirectoryTail tail;
    const std::size_t count = cluster.size() / kExfatEntrySize;
    for (std::size_t i = 0; i < count;) {
        if (EntryType(cluster, i) == exfat_type::kEndOfDirectory) {
            tail.ended = true;
            return tail;
        }
        EntrySetFault fault = EntrySetFault::None;
        if (auto set = DecodeEntrySet(cluster, i, &fault)) {
            i += set->entryCount;
            continue;
        }
        if (fault == EntrySetFault::Truncated) {
            const auto rest = cluster.subspan(i * kExfatEntrySize, (count - i) * kExfatEntrySize);
            tail.cutSet.assign(rest.begin(), rest.end());
            return tail;
        }
        ++i;
    }
    return tail;
}

bool ContinuesDirectory(const DirectoryTail& tail, std::span<const std::byte> next,
                        std::optional<ExfatEntrySet>& joined) {
    joined.reset();
    if (tail.ended || next.size() < kExfatEntrySize) return false;
    if (tail.cutSet.empty()) return (EntryType(next, 0) | exfat_type::kInUse) == exfat_type::kFile;
    std::vector<std::byte> whole(tail.cutSet);
    const std::size_t more = std::min(next.size() / kExfatEntrySize, kMaxSetEntries) * kExfatEntrySize;
    whole.insert(whole.end(), next.begin(), next.begin() + static_cast<std::ptrdiff_t>(more));
    joined = DecodeEntrySet(whole, 0);
    return joined.has_value();
}

}  // namespace lumacore
