// `recover`: writes what a scan finds into a folder on another drive.
#include <filesystem>
#include <iostream>
#include <string_view>
#include <utility>

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
    OptionParser options(
        "lumacore-cli recover",
        "Writes what a scan finds into a folder on another drive, mirroring the folder tree.");
    AddVolumeOptions(options);
    AddModeOption(options);
    AddOrphanSweepOption(options);
    options.Value("--to", "DIR", "the folder to write into (never on the volume being read); required")
        .Repeatable("--only", "PATH",
                    "only the file or folder at this tree path, as scan lists it (repeatable)")
        .Repeatable("--inode", "N", "EXT: only the files of inode N (repeatable)")
        .Repeatable("--record", "N", "NTFS: only the files of MFT record N (repeatable)")
        .Repeatable("--cluster", "N",
                    "FAT, exFAT: only the files whose data starts at cluster N (repeatable)")
        .Flag("--hash", "compute sha256 while writing, at no extra read (the default)")
        .Flag("--no-hash", "do not compute sha256 while writing (no sha256sums.txt, no digests in report.xml)")
        .Flag("--no-report", "write no report.xml and sha256sums.txt beside the recovered files")
        .Flag("--no-times", "leave the recovered files with the time of recovery instead of their own");
    AddOverwriteOption(options);
    AddFilterOptions(options);
    AddRawOptions(options);
    options.Note("Prints \"Recovered N files (B bytes) to DIR; F failed; K existing kept\".")
        .Note("Beside the files: report.xml (DFXML: names, sizes, times, source byte runs, sha256) and "
              "sha256sums.txt (check with sha256sum -c); files and folders keep their modification and "
              "access times.")
        .Note("Exit status 3 when some files failed or the run was cancelled.")
        .Example("lumacore-cli --image disk.img recover --volume 0 --to /mnt/other/found",
                 "every deleted file of the first volume")
        .Example("lumacore-cli --image disk.img recover --volume 0 --to found --only Documents/draft.txt",
                 "one file")
        .Example("lumacore-cli --image disk.img recover --volume 2 --to found --inode 14 --inode 15",
                 "two deleted inodes of an EXT volume, as scan --json names them")
        .Example("lumacore-cli --image disk.img recover --disk 0 --mode raw --types jpg --to pictures",
                 "carve the pictures of the whole disk");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli recover: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
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
    // The engine ids the listing shows, chosen the way icat and ntfsundelete choose them.
    static constexpr std::pair<const char*, std::string_view> kIdOptions[] = {
        {"--inode", "inode"}, {"--record", "mftRecord"}, {"--cluster", "cluster"}};
    bool chosen = !only.empty();
    for (const std::string& path : only) {
        if (auto checked = files.CheckPath(path); !checked) return fail(checked.error().message, kExitUsage);
    }
    for (const auto& [option, idKey] : kIdOptions) {
        for (const std::string& text : options.GetAll(option)) {
            std::uint64_t id = 0;
            if (!ParseUnsigned(text, id))
                return fail(std::string(option) + " takes a whole number", kExitUsage);
            if (auto checked = files.CheckId(idKey, id); !checked) {
                return fail(std::string(option) + " " + text + ": " + checked.error().message, kExitUsage);
            }
            chosen = true;
        }
    }
    if (!chosen) files.CheckAll();
    if (auto nothing = files.NothingCheckedMessage()) return fail(*nothing, kExitOk);

    if (options.Has("--hash") && options.Has("--no-hash"))
        return fail("--hash and --no-hash cannot both be given", kExitUsage);
    WriterOptions written;
    written.hash = !options.Has("--no-hash");
    written.report = !options.Has("--no-report");
    written.times = !options.Has("--no-times");
    RecoveredFileWriter writer(*destination, *policy, AskOverwriteOnTerminal, SourceDrivePaths(devices),
                               written);
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
    return result->failures != 0 || result->cancelled ? kExitPartial : kExitOk;
}

}  // namespace lumacore
