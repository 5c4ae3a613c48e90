#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/byte_source.h"
#include "core/progress.h"
#include "engines/exfat/exfat_layout.h"

namespace lumacore {

// One ascending pass over the clusters [first, last] that `consider` lets through, keeping those that
// hold directory entries. Small clusters are read in stretches of up to a megabyte; of larger ones only
// the first sector is read, and the whole cluster only when that sector could begin a directory, so
// that a mostly empty card is not read in full. Unreadable stretches are passed over. Progress counts
// clusters from `first`; `onFound` hears the running count of clusters found.
std::vector<std::uint32_t> FindExfatDirectoryClusters(const ExfatLayout& layout, ByteSource& disk,
                                                      std::uint64_t first, std::uint64_t last,
                                                      const std::function<bool(std::uint32_t)>& consider,
                                                      ProgressFields& progress, const StopToken& stop,
                                                      const std::function<void(std::size_t)>& onFound);

}  // namespace lumacore
