#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"

namespace lumacore {

// The choices of the recovery in progress: the partition chosen on the drive page and its sector range,
// the scan limits and filter of the option dialogs, the mail-repair choices, and the progress of the
// running job. The application object holds one for the whole run; workers read it when they start.
class RecoverySettings {
public:
    static constexpr int kDefaultRawSizeLimit = 512000;

    RecoverySettings();

    // Makes P the chosen partition and resets the scan range to the whole of it.
    void SelectPartition(const PartitionInfo& partition);

    std::vector<std::string> RepairFiles;
    std::string VolumeRoot;   // "%c:\" of the chosen partition's letter ('*' when it has none)
    std::string NamePattern;  // name part of the scans' name filter
    std::uint32_t PartitionFirstSector = 0;
    std::uint32_t PartitionEndSector = 0;  // first sector after the partition
    FilterSettings Filter;
    std::uint32_t ScanStartSector = 0;
    std::uint32_t ScanEndSector = 0;
    int RawSizeLimit = kDefaultRawSizeLimit;
    PartitionInfo SelectedPartition{};
    std::string RepairOutputFolder;
    ProgressFields Progress;  // ProgressText, ProgressTotal, ProgressDone
    int RecoveryCategory = 0;
    int RepairKind = 0;  // 1 = mail folder (.dbx) repair, 2 = personal folder (.pst) repair
};

}  // namespace lumacore
