// `scan`: lists what a recovery mode finds on a volume.
#include <iostream>

#include "cli/commands.h"
#include "cli/filter_options.h"
#include "cli/overwrite_prompt.h"
#include "cli/raw_options.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "platform/output_guard.h"
#include "recovery/destination_guard.h"
#include "session/bodyfile.h"

namespace lumacore {

int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options("lumacore-cli scan",
                         "Lists what a recovery mode finds on a volume, as a tree or as JSON.");
    AddVolumeOptions(options);
    AddModeOption(options);
    AddOrphanSweepOption(options);
    options.Flag("--json", "print the listing as JSON");
    options.Value("--bodyfile", "FILE",
                  "also write the found files as a body file for The Sleuth Kit's mactime timelines "
                  "(\"-\": print it instead of the listing)");
    AddOverwriteOption(options);
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
                 "pictures carved from the whole disk")
        .Example("lumacore-cli --image disk.img scan --volume 0 --bodyfile - | mactime -b - -d",
                 "a timeline of the deleted files");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli scan: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
    auto mode = ModeFromOptions(options);
    if (!mode) return fail(mode.error().message, kExitUsage);
    const auto bodyfile = options.Get("--bodyfile");
    const bool bodyfileToStdout = bodyfile && *bodyfile == "-";
    if (bodyfileToStdout && options.Has("--json"))
        return fail("--bodyfile - and --json would both print on standard output", kExitUsage);
    const auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
    if (!policy) return fail(policy.error().message, kExitUsage);
    // Asked before the scan, so that a long scan does not end in a question.
    const bool overwriteConfirmed = bodyfile && !bodyfileToStdout && ConfirmOverwrite(*bodyfile, *policy);
    auto plan = PlanScan(devices, options, *mode, true);
    if (!plan) return fail(plan.error().message, ExitCodeOf(plan.error()));
    auto found = RunPlannedScan(devices, *plan);
    if (!found)
        return fail(found.error().message, *mode == SCAN_RAW ? ExitCodeOf(found.error()) : kExitFailure);
    if (auto note = (*found)->IncompleteNote()) std::cerr << "lumacore-cli scan: " << *note << '\n';
    for (const std::string& notice : (*found)->Notices())
        std::cerr << "lumacore-cli scan: " << notice << '\n';
    if (bodyfileToStdout) {
        WriteBodyfile(**found, std::cout);
        return std::cout.flush() ? kExitOk : kExitFailure;
    }
    if (options.Has("--json")) {
        JsonWriter json(std::cout);
        (*found)->WriteJson(json);
    } else {
        std::cout << (*found)->Text();
    }
    if (bodyfile) {
        // Through the guard that keeps every write off the source.
        auto out = RecoveryOutputGuard(devices, plan->volume).Open(*bodyfile, overwriteConfirmed);
        if (!out) return fail(out.error().message, kExitFailure);
        // Written in pieces as the files are visited: a million files need no 100 MB string.
        std::string pending;
        bool written = true;
        auto flush = [&] {
            written = written && WriteAllTo(out->get(), pending.data(), pending.size());
            pending.clear();
        };
        (*found)->VisitListedFiles([&](const ListedFile& file) {
            pending += BodyfileLine(file);
            if (pending.size() >= 64 * 1024) flush();
        });
        flush();
        if (!written || out->Close() != 0) return fail("cannot write " + *bodyfile, kExitFailure);
    }
    return kExitOk;
}

}  // namespace lumacore
