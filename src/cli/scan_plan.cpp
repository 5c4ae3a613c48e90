#include "cli/scan_plan.h"

#include "cli/filter_options.h"
#include "cli/offset_volume.h"
#include "cli/progress_line.h"
#include "cli/raw_options.h"
#include "cli/volume_selection.h"
#include "core/scan_mode.h"
#include "disk/disk_inventory.h"

namespace lumacore {

namespace {

Error Usage(const Error& error) {
    return Error::Make(ErrorKind::InvalidArgument, error.message);
}

}  // namespace

void AddModeOption(OptionParser& options) {
    options.Value(
        "--mode", "deleted|formatted|raw",
        "deleted files (default), what a quick format left behind (FAT, exFAT, NTFS), or files carved "
        "by their signatures");
}

void AddOrphanSweepOption(OptionParser& options) {
    options.Value("--orphan-sweep", "auto|on|off",
                  "FAT deleted-file scans: search the free clusters for the folder pieces no folder leads to "
                  "any more (the rest of a big deleted folder) when the volume has deleted folders (auto, "
                  "the default), always (on), or never (off, only the tree as it stands)");
}

namespace {

Result<OrphanSweep> OrphanSweepFromOptions(const OptionParser& options) {
    const std::string value = options.Get("--orphan-sweep").value_or("auto");
    if (value == "auto") return OrphanSweep::Auto;
    if (value == "on") return OrphanSweep::On;
    if (value == "off") return OrphanSweep::Off;
    return Error::Make(ErrorKind::InvalidArgument,
                       "unknown --orphan-sweep value '" + value + "' (values: auto, on, off)");
}

}  // namespace

Result<int> ModeFromOptions(const OptionParser& options) {
    const std::string mode = options.Get("--mode").value_or("deleted");
    if (mode == "deleted") return int{SCAN_DELETED};
    if (mode == "formatted") return int{SCAN_FORMATTED};
    if (mode == "raw") return int{SCAN_RAW};
    return Error::Make(ErrorKind::InvalidArgument,
                       "unknown mode '" + mode + "' (modes: deleted, formatted, raw)");
}

Result<ScanPlan> PlanScan(const DeviceMap& devices, const OptionParser& options, int mode, bool withFilter) {
    ScanPlan plan;
    plan.mode = mode;
    if (mode == SCAN_RAW) {
        auto request = RawRequestFromOptions(devices, options);
        if (!request) return request.error();
        plan.volume = request->source;
        plan.range = {request->start, request->end};
        plan.carving = {request->sizeLimitKb, request->types, request->signatureFile};
    } else {
        if (withFilter) {
            auto filter = FilterFromOptions(options);
            if (!filter) return Usage(filter.error());
            plan.filter = *filter;
        }
        CDiskInventory inventory(devices);
        inventory.Refresh();
        if (auto added = AddOffsetVolume(inventory, devices, options); !added) return added.error();
        auto volume = SelectVolume(inventory, options);
        if (!volume) return Usage(volume.error());
        plan.volume = *volume;
        auto sweep = OrphanSweepFromOptions(options);
        if (!sweep) return sweep.error();
        plan.orphanSweep = *sweep;
    }
    plan.engine = FindEngine(plan.volume, mode);
    if (plan.engine == nullptr) {
        const char* modeName = mode == SCAN_FORMATTED ? "formatted" : "deleted";
        return Error::Make(ErrorKind::Unsupported, std::string("the ") + modeName + " mode does not read " +
                                                       plan.volume.FsName() + " volumes yet");
    }
    if (mode != SCAN_RAW) {
        auto range = ScanRangeFromOptions(options, plan.volume);
        if (!range) return Usage(range.error());
        plan.range = *range;
    }
    return plan;
}

Result<std::unique_ptr<FoundFiles>> RunPlannedScan(const DeviceMap& devices, const ScanPlan& plan) {
    ProgressFields progress;
    ProgressLine line(progress);
    VolumeScanRequest request{devices,    plan.volume,  plan.filter, plan.mode,
                              plan.range, plan.carving, progress};
    request.orphanSweep = plan.orphanSweep;
    return plan.engine->scan(request);
}

int ExitCodeOf(const Error& error) {
    return error.kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure;
}

}  // namespace lumacore
