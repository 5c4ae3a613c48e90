// `recover`: writes what a scan finds into a folder on another drive.
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/overwrite_prompt.h"
#include "cli/progress_line.h"
#include "cli/raw_options.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/scan_mode.h"
#include "recovery/destination_guard.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

int RunRecoverCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options;
    AddVolumeOptions(options);
    AddFilterOptions(options);
    AddRawOptions(options);
    options.Value("--mode").Value("--to").Value("--overwrite").Repeatable("--only").Value("--end");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli recover: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    auto mode = ModeFromOptions(options);
    if (!mode) return fail(mode.error().message, kExitUsage);
    const auto destination = options.Get("--to");
    if (!destination) return fail("choose the destination folder with --to DIR", kExitUsage);
    auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
    if (!policy) return fail(policy.error().message, kExitUsage);

    auto plan = PlanScan(devices, options, *mode, true);
    if (!plan) return fail(plan.error().message, ExitCodeOf(plan.error()));
    std::error_code created;
    std::filesystem::create_directories(*destination, created);
    if (auto allowed = CheckDestination(*destination, SourceOf(devices, plan->volume)); !allowed) {
        return fail(allowed.error().message, kExitFailure);
    }

    auto found = RunPlannedScan(devices, *plan);
    if (!found)
        return fail(found.error().message, *mode == SCAN_RAW ? ExitCodeOf(found.error()) : kExitFailure);
    FoundFiles& files = **found;
    for (const std::string& notice : files.Notices()) std::cerr << "lumacore-cli recover: " << notice << '\n';
    const auto only = options.GetAll("--only");
    if (only.empty()) {
        files.CheckAll();
    } else {
        for (const std::string& path : only) {
            if (auto checked = files.CheckPath(path); !checked)
                return fail(checked.error().message, kExitUsage);
        }
    }
    if (auto nothing = files.NothingCheckedMessage()) return fail(*nothing, kExitOk);

    RecoveredFileWriter writer(*destination, *policy, AskOverwriteOnTerminal, SourceDrivePaths(devices));
    ProgressFields progress;
    StopToken stop;
    Result<RecoverResult> result = Error{};
    {
        ProgressLine line(progress);
        result = files.Recover(writer, progress, stop);
    }
    if (!result) return fail(result.error().message, kExitFailure);
    for (const std::string& line : result->failureLines)
        std::cerr << "lumacore-cli recover: " << line << '\n';
    std::cerr << result->report;
    std::cout << "Recovered " << result->filesWritten << " files (" << result->bytesWritten << " bytes) to "
              << *destination << "; " << result->failures << " failed; " << result->keptExisting
              << " existing kept" << (result->cancelled ? "; cancelled" : "") << '\n';
    return kExitOk;
}

}  // namespace lumacore
