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

struct PartitionInfo;
class RecoverySettings;

// The range the drive page handed over in the settings (absolute sectors), relative to the volume;
// the whole volume where the settings leave it open.
SectorRange SettingsScanRange(const RecoverySettings& settings, const PartitionInfo& volume);

}  // namespace lumacore
