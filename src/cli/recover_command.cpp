// `recover`: writes what a scan finds into a folder on another drive.
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "session/ext_scan.h"
#include "session/raw_scan.h"
#include "session/fat_scan.h"
#include "cli/filter_options.h"
#include "cli/overwrite_prompt.h"
#include "session/ntfs_scan.h"
#include "cli/progress_line.h"
#include "cli/volume_selection.h"
#include "disk/disk_inventory.h"
#include "engines/fat/fat_extractor.h"
#include "recovery/destination_guard.h"
#include "session/fat_recover_run.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

namespace {

}  // namespace

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
    const std::string mode = options.Get("--mode").value_or("deleted");
    if (mode != "deleted" && mode != "formatted" && mode != "raw") {
        return fail("unknown mode '" + mode + "' (modes: deleted, formatted, raw)", kExitUsage);
    }
    const auto destination = options.Get("--to");
    if (!destination) return fail("choose the destination folder with --to DIR", kExitUsage);
    auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
    if (!policy) return fail(policy.error().message, kExitUsage);
    if (mode == "raw") return RunRawRecoverCommand(devices, options, *destination, *policy);
    auto filter = FilterFromOptions(options);
    if (!filter) return fail(filter.error().message, kExitUsage);

    CDiskInventory inventory(devices);
    inventory.Refresh();
    auto volume = SelectVolume(inventory, options);
    if (!volume) return fail(volume.error().message, kExitUsage);
    const bool ntfs = IsNtfsRecord(*volume);
    const bool ext = mode == "deleted" && IsExtRecord(*volume);
    if (!ntfs && !ext && !IsFatRecord(*volume)) {
        return fail("the " + mode + " mode does not read " + volume->FsName() + " volumes yet", kExitFailure);
    }

    const RecoverySource source = SourceOf(devices, *volume);
    std::error_code created;
    std::filesystem::create_directories(*destination, created);
    if (auto allowed = CheckDestination(*destination, source); !allowed) {
        return fail(allowed.error().message, kExitFailure);
    }

    if (ntfs) {
        RecoveredFileWriter writer(*destination, *policy, AskOverwriteOnTerminal, SourceDrivePaths(devices));
        if (mode != "formatted") return RunNtfsRecoverCommand(devices, *volume, *filter, options.GetAll("--only"), writer);
        auto range = ScanRangeFromOptions(options, *volume);
        if (!range) return fail(range.error().message, kExitUsage);
        return RunNtfsRecoverCommand(devices, *volume, *filter, options.GetAll("--only"), writer,
                                     NtfsScanMode::Formatted, *range);
    }

    if (ext) {
        ProgressFields progress;
        Result<std::unique_ptr<ExtScan>> found = Error{};
        {
            ProgressLine line(progress);
            found = ScanExtVolume(devices, *volume, *filter, progress);
        }
        if (!found) return fail(found.error().message, kExitFailure);
        const auto only = options.GetAll("--only");
        if (only.empty()) {
            CheckAllExt(**found);
        } else {
            for (const std::string& path : only) {
                if (auto checked = CheckExtPath(**found, path); !checked) return fail(checked.error().message, kExitUsage);
            }
        }
        RecoveredFileWriter writer(*destination, *policy, AskOverwriteOnTerminal, SourceDrivePaths(devices));
        StopToken stop;
        ExtRecoverRunResult result;
        {
            ProgressLine line(progress);
            result = RecoverExtFiles(**found, writer, progress, stop);
        }
        for (const std::string& line : ExtFailureLines(result, writer)) std::cerr << "lumacore-cli recover: " << line << '\n';
        std::cout << "Recovered " << result.counts.filesWritten << " files (" << result.counts.bytesWritten << " bytes) to "
                  << *destination << "; " << result.counts.failures << " failed; " << result.counts.keptExisting
                  << " existing kept" << (result.counts.cancelled ? "; cancelled" : "") << '\n';
        return kExitOk;
    }

    ProgressFields progress;
    Result<std::unique_ptr<FatScan>> scan = Error{};
    {
        ProgressLine line(progress);
        auto range = ScanRangeFromOptions(options, *volume);
        if (!range) return fail(range.error().message, kExitUsage);
        scan = ScanFatVolume(devices, *volume, *filter, progress,
                             mode == "formatted" ? FatScanMode::Formatted : FatScanMode::Deleted, *range);
    }
    if (!scan) return fail(scan.error().message, kExitFailure);
    FatScan& found = **scan;
    const auto only = options.GetAll("--only");
    if (only.empty()) {
        CheckAllFat(found);
    } else {
        for (const std::string& path : only) {
            if (auto checked = CheckFatPath(found, path); !checked) return fail(checked.error().message, kExitUsage);
        }
    }

    auto disk = devices.OpenPhysicalDrive(volume->diskNumber, AccessMode::ReadOnly);
    if (!disk) return fail(kCannotOpenDevice, kExitFailure);
    auto extractor = FatExtractor::Open(std::move(*disk), *volume);
    if (!extractor) return fail(extractor.error().message, kExitFailure);

    RecoveredFileWriter writer(*destination, *policy, AskOverwriteOnTerminal, SourceDrivePaths(devices));
    StopToken stop;
    RecoverRunResult result;
    {
        ProgressLine line(progress);
        result = RunFatRecovery(found.tree, found.root, writer, progress, stop,
                                [&](const FatFileNode& node, OutputFile& out) {
                                    return extractor->Copy(node, [&](std::span<const std::byte> data) {
                                        return out.Write(data);
                                    });
                                });
    }
    for (const RecoveryFailure& failure : writer.failures()) {
        std::cerr << "lumacore-cli recover: " << failure.name << ": " << failure.message << '\n';
    }
    std::cout << "Recovered " << result.filesWritten << " files (" << result.bytesWritten << " bytes) to "
              << *destination << "; " << result.failures << " failed; " << result.keptExisting
              << " existing kept" << (result.cancelled ? "; cancelled" : "") << '\n';
    return kExitOk;
}

}  // namespace lumacore
