#pragma once

#include <memory>
#include <string>

#include "cli/arguments.h"
#include "core/filter_settings.h"
#include "platform/device_map.h"
#include "session/engine_table.h"

namespace lumacore {

// What the scan, recover and preview commands scan: the mode, the volume (or the carving source), the
// engine that reads it there, and the options for the scan.
struct ScanPlan {
    int mode = 0;
    PartitionInfo volume;
    const EngineRow* engine = nullptr;
    FilterSettings filter = FilterSettings::Initial();
    SectorRange range;
    CarvingOptions carving;
    OrphanSweep orphanSweep = OrphanSweep::Auto;
};

// --mode deleted|formatted|raw
void AddModeOption(OptionParser& options);

// --orphan-sweep auto|on|off (FAT deleted-file scans)
void AddOrphanSweepOption(OptionParser& options);

// The --mode value ("deleted", "formatted" or "raw"; "deleted" when not given) as a home page mode; an
// InvalidArgument error for any other.
Result<int> ModeFromOptions(const OptionParser& options);

// Chooses the source and its engine from the options: `--mode raw` takes the carving source and options,
// the other modes the --volume/--disk/--start volume, whose engine must run that mode. The filter options
// are read when `withFilter`. InvalidArgument errors are the user's to mend (a usage error); others say
// that nothing can read the source.
Result<ScanPlan> PlanScan(const DeviceMap& devices, const OptionParser& options, int mode, bool withFilter);

// Runs the planned scan behind a progress line.
Result<std::unique_ptr<FoundFiles>> RunPlannedScan(const DeviceMap& devices, const ScanPlan& plan);

// The exit code for an error of PlanScan or RunPlannedScan.
int ExitCodeOf(const Error& error);

}  // namespace lumacore
