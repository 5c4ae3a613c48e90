// `scan`: lists what a recovery mode finds on a volume.
#include <iostream>

#include "cli/commands.h"
#include "session/ext_scan.h"
#include "session/raw_scan.h"
#include "session/fat_scan.h"
#include "cli/filter_options.h"
#include "session/ntfs_scan.h"
#include "cli/progress_line.h"
#include "cli/volume_selection.h"
#include "disk/disk_inventory.h"

namespace lumacore {

int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options;
    AddVolumeOptions(options);
    AddFilterOptions(options);
    AddRawOptions(options);
    options.Value("--mode").Flag("--json").Value("--end");
    if (auto parsed = options.Parse(arguments); !parsed) {
        std::cerr << "lumacore-cli scan: " << parsed.error().message << '\n';
        return kExitUsage;
    }
    const std::string mode = options.Get("--mode").value_or("deleted");
    if (mode != "deleted" && mode != "formatted" && mode != "raw") {
        std::cerr << "lumacore-cli scan: unknown mode '" << mode << "' (modes: deleted, formatted, raw)\n";
        return kExitUsage;
    }
    if (mode == "raw") return RunRawScanCommand(devices, options);
    auto filter = FilterFromOptions(options);
    if (!filter) {
        std::cerr << "lumacore-cli scan: " << filter.error().message << '\n';
        return kExitUsage;
    }
    CDiskInventory inventory(devices);
    inventory.Refresh();
    auto volume = SelectVolume(inventory, options);
    if (!volume) {
        std::cerr << "lumacore-cli scan: " << volume.error().message << '\n';
        return kExitUsage;
    }
    if (mode == "deleted" && IsNtfsRecord(*volume)) {
        return RunNtfsScanCommand(devices, *volume, *filter, options.Has("--json"));
    }
    if (mode == "formatted" && IsNtfsRecord(*volume)) {
        auto range = ScanRangeFromOptions(options, *volume);
        if (!range) {
            std::cerr << "lumacore-cli scan: " << range.error().message << '\n';
            return kExitUsage;
        }
        return RunNtfsScanCommand(devices, *volume, *filter, options.Has("--json"), NtfsScanMode::Formatted, *range);
    }
    if (mode == "deleted" && IsExtRecord(*volume)) {
        ProgressFields progress;
        Result<std::unique_ptr<ExtScan>> scan = Error{};
        {
            ProgressLine line(progress);
            scan = ScanExtVolume(devices, *volume, *filter, progress);
        }
        if (!scan) {
            std::cerr << "lumacore-cli scan: " << scan.error().message << '\n';
            return kExitFailure;
        }
        if (!(*scan)->completed) {
            std::cerr << "lumacore-cli scan: the journal could not be read to its end; the list below is what was found\n";
        }
        std::cout << (options.Has("--json") ? ExtTreeJson(**scan) : ExtTreeText(**scan));
        return kExitOk;
    }
    if (!IsFatRecord(*volume)) {
        std::cerr << "lumacore-cli scan: the " << mode << " mode does not read " << volume->FsName()
                  << " volumes yet\n";
        return kExitFailure;
    }

    ProgressFields progress;
    Result<std::unique_ptr<FatScan>> scan = Error{};
    {
        ProgressLine line(progress);
        auto range = ScanRangeFromOptions(options, *volume);
        if (!range) {
            std::cerr << "lumacore-cli scan: " << range.error().message << '\n';
            return kExitUsage;
        }
        scan = ScanFatVolume(devices, *volume, *filter, progress,
                             mode == "formatted" ? FatScanMode::Formatted : FatScanMode::Deleted, *range);
    }
    if (!scan) {
        std::cerr << "lumacore-cli scan: " << scan.error().message << '\n';
        return kExitFailure;
    }
    if (!(*scan)->completed) {
        std::cerr << "lumacore-cli scan: a folder could not be read; the list below is what was found before\n";
    }
    std::cout << (options.Has("--json") ? FatTreeJson(**scan) : FatTreeText(**scan));
    return kExitOk;
}

}  // namespace lumacore
