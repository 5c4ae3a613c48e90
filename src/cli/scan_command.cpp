// `scan`: lists what a recovery mode finds on a volume.
#include <iostream>

#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/raw_options.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/scan_mode.h"

namespace lumacore {

int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options;
    AddVolumeOptions(options);
    AddFilterOptions(options);
    AddRawOptions(options);
    options.Value("--mode").Flag("--json").Value("--end");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli scan: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    auto mode = ModeFromOptions(options);
    if (!mode) return fail(mode.error().message, kExitUsage);
    auto plan = PlanScan(devices, options, *mode, true);
    if (!plan) return fail(plan.error().message, ExitCodeOf(plan.error()));
    auto found = RunPlannedScan(devices, *plan);
    if (!found)
        return fail(found.error().message, *mode == SCAN_RAW ? ExitCodeOf(found.error()) : kExitFailure);
    if (auto note = (*found)->IncompleteNote()) std::cerr << "lumacore-cli scan: " << *note << '\n';
    for (const std::string& notice : (*found)->Notices()) std::cerr << "lumacore-cli scan: " << notice << '\n';
    std::cout << (options.Has("--json") ? (*found)->Json() : (*found)->Text());
    return kExitOk;
}

}  // namespace lumacore
