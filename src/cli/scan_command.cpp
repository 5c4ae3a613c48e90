// `scan`: lists what a recovery mode finds on a volume.
#include <iostream>

#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/raw_options.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"

namespace lumacore {

int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options("lumacore-cli scan",
                         "Lists what a recovery mode finds on a volume, as a tree or as JSON.");
    AddVolumeOptions(options);
    AddModeOption(options);
    options.Flag("--json", "print the listing as JSON");
    AddFilterOptions(options);
    AddRawOptions(options);
    options
        .Note(
            "Choose the volume with --volume I or --disk N --start SECTOR; in raw mode --disk N alone is the "
            "whole disk, read without its partition table.")
        .Example("lumacore-cli --image disk.img scan --volume 0", "the deleted files of the first volume")
        .Example("lumacore-cli --image disk.img scan --volume 1 --mode formatted --json",
                 "what a quick format left behind, as JSON")
        .Example("lumacore-cli --image disk.img scan --disk 0 --mode raw --types jpg,png",
                 "pictures carved from the whole disk");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli scan: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
    auto mode = ModeFromOptions(options);
    if (!mode) return fail(mode.error().message, kExitUsage);
    auto plan = PlanScan(devices, options, *mode, true);
    if (!plan) return fail(plan.error().message, ExitCodeOf(plan.error()));
    auto found = RunPlannedScan(devices, *plan);
    if (!found)
        return fail(found.error().message, *mode == SCAN_RAW ? ExitCodeOf(found.error()) : kExitFailure);
    if (auto note = (*found)->IncompleteNote()) std::cerr << "lumacore-cli scan: " << *note << '\n';
    for (const std::string& notice : (*found)->Notices())
        std::cerr << "lumacore-cli scan: " << notice << '\n';
    if (options.Has("--json")) {
        JsonWriter json(std::cout);
        (*found)->WriteJson(json);
    } else {
        std::cout << (*found)->Text();
    }
    return kExitOk;
}

}  // namespace lumacore
