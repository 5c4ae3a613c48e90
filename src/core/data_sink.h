#pragma once

#include <cstdint>
#include <functional>

#include "core/result.h"

namespace lumacore {

// Where a file's unstored ranges go (sparse runs, holes in a block map, bytes past the initialized
// size): the receiver moves on by that many bytes without writing them, so that the copy keeps them as
// holes and takes no space for them. Without one the engines hand zeros to the data sink instead.
using HoleSink = std::function<Result<void>(std::uint64_t bytes)>;

// The failure of a file whose size runs past the end of its volume; what lies inside the volume was
// written.
inline constexpr const char* kSizeBeyondVolume = "size beyond the volume";

}  // namespace lumacore
