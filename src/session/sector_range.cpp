#include "session/sector_range.h"

#include "core/partition_info.h"
#include "core/recovery_settings.h"

namespace lumacore {

SectorRange SettingsScanRange(const RecoverySettings& settings, const PartitionInfo& volume) {
    SectorRange range;
    const std::uint32_t first = volume.startSector;
    if (settings.ScanStartSector > first) range.start = settings.ScanStartSector - first;
    if (settings.ScanEndSector > first && settings.ScanEndSector < settings.PartitionEndSector) {
        range.end = settings.ScanEndSector - first;
    }
    return range;
}

}  // namespace lumacore
