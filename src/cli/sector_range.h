#pragma once

#include <cstdint>
#include <optional>

namespace lumacore {

// The part of a volume a formatted-drive scan reads, in sectors relative to the volume's start;
// the whole volume when not given.
struct SectorRange {
    std::optional<std::uint32_t> start;
    std::optional<std::uint32_t> end;
};

}  // namespace lumacore
