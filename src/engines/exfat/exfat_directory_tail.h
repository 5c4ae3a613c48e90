#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

// How a directory cluster ends. A deleted folder's length and chain cannot be trusted (writers shrink
// a folder as its files go, and free its chain), but its clusters tell on their own whether the folder
// goes on: one that holds the end-of-directory mark is its last; one whose last set is cut by the
// cluster edge goes on in the cluster that holds the rest of that set, which the set checksum confirms;
// one filled to the edge may go on in a cluster that starts with a file entry.
struct DirectoryTail {
    bool ended = false;
    std::vector<std::byte> cutSet;  // the entries of a set cut by the cluster edge
};

DirectoryTail TailOf(std::span<const std::byte> cluster);

// Whether `next` (a whole cluster) continues a directory whose last cluster ended with `tail`. When the
// tail had a cut set, `joined` receives it, made whole.
bool ContinuesDirectory(const DirectoryTail& tail, std::span<const std::byte> next,
                        std::optional<ExfatEntrySet>& joined);

}  // namespace lumacore
