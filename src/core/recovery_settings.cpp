#include "core/recovery_settings.h"

namespace lumacore {

RecoverySettings::RecoverySettings() : Filter(FilterSettings::Initial()) {}

void RecoverySettings::SelectPartition(const PartitionInfo& partition) {
    SelectedPartition = partition;
    VolumeRoot = std::string(1, partition.driveLetter) + ":\\";
    NamePattern.clear();
    PartitionFirstSector = ScanStartSector = partition.startSector;
    PartitionEndSector = ScanEndSector = partition.EndSector();
}

}  // namespace lumacore
