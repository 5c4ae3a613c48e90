// `scan`: lists what a recovery mode finds on a volume.
#include <iostream>

#include "cli/commands.h"
#include "cli/fat_scan.h"
#include "cli/filter_options.h"
#include "cli/progress_line.h"
#include "cli/volume_selection.h"
#include "disk/disk_inventory.h"

namespace lumacore {

int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options;
    AddVolumeOptions(options);
    AddFilterOptions(options);
    options.Value("--mode").Flag("--json");
    if (auto parsed = options.Parse(arguments); !parsed) {
        std::cerr << "lumacore-cli scan: " << parsed.error().message << '\n';
        return kExitUsage;
    }
    const std::string mode = options.Get("--mode").value_or("deleted");
    if (mode != "deleted") {
        std::cerr << "lumacore-cli scan: unknown mode '" << mode << "' (modes: deleted)\n";
        return kExitUsage;
    }
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
    if (!IsFatRecord(*volume)) {
        std::cerr << "lumacore-cli scan: the deleted-file scan does not read " << volume->FsName()
                  << " volumes yet\n";
        return kExitFailure;
    }

    ProgressFields progress;
    Result<std::unique_ptr<FatScan>> scan = Error{};
    {
        ProgressLine line(progress);
        scan = ScanFatVolume(devices, *volume, *filter, progress);
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
