// lumacore-cli: the recovery engines from a terminal.
#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/system_device_map.h"

namespace {

constexpr const char* kUsage =
    "usage: lumacore-cli [--image FILE]... [--no-devices] COMMAND [OPTIONS]\n"
    "\n"
    "Disks: image files given with --image (and in LUMACORE_IMAGES, colon-separated) are physical\n"
    "drives 0, 1, ... in that order; the machine's own disks follow unless --no-devices is given.\n"
    "\n"
    "Commands:\n"
    "  disks [--json]     list the disks and their volumes, partition-table entries and gaps\n"
    "  scan (--volume I | --disk N --start SECTOR) [--mode deleted] [--json]\n"
    "       [--category 0..6] [--date before|after|on:YYYY-MM-DD]\n"
    "       [--size equal|smaller|larger|between:KB[:KB]] [--name TEXT]\n"
    "                     list the deleted files and folders of a volume\n"
    "  recover (--volume I | --disk N --start SECTOR) [--mode deleted] --to DIR\n"
    "       [--overwrite ask|yes|no|all] [--only PATH]... [filter options as for scan]\n"
    "                     write the found files (or only those under PATH) into DIR\n"
    "  preview (--volume I | --disk N --start SECTOR) [--mode deleted|formatted|raw] --file PATH\n"
    "       [--save FILE]\n"
    "                     what the preview shows for the found file at PATH (as scan lists it): text\n"
    "                     kinds as text, everything else as the hexadecimal dump; a picture is named\n"
    "                     first with the size its header gives. --save FILE writes the bytes it read\n"
    "  partitions --disk N search [--deep] [--json]\n"
    "  partitions --disk N restore --candidate K [--deep | --from-backup FILE] [--dry-run] [--yes]\n"
    "  partitions --disk N backup FILE | load FILE [--json] | undo FILE [--force]\n"
    "                     find lost partitions and write one back (an undo file is kept), or keep and\n"
    "                     load partition backups\n"
    "  repair dbx|pst FILE... --to DIR [--overwrite ask|yes|no|all]\n"
    "                     write repaired copies of mail store files into DIR, with the repair log\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace lumacore;
    const std::vector<std::string> words(argv + 1, argv + argc);
    auto line = ParseCommandLine(words, "LUMACORE_IMAGES");
    if (!line) {
        std::cerr << "lumacore-cli: " << line.error().message << '\n' << kUsage;
        return kExitUsage;
    }
    if (line->command.empty() || line->command == "help" || line->command == "--help") {
        std::cout << kUsage;
        return line->command.empty() ? kExitUsage : kExitOk;
    }

    if (line->command == "repair") return RunRepairCommand(line->arguments);

    auto devices = SystemDeviceMap::Create({line->global.images, line->global.includeBlockDevices, "/sys"});
    if (!devices) {
        std::cerr << "lumacore-cli: " << devices.error().message << '\n';
        return kExitUsage;
    }

    if (line->command == "disks") return RunDisksCommand(**devices, line->arguments);
    if (line->command == "scan") return RunScanCommand(**devices, line->arguments);
    if (line->command == "recover") return RunRecoverCommand(**devices, line->arguments);
    if (line->command == "partitions") return RunPartitionsCommand(**devices, line->arguments);
    if (line->command == "preview") return RunPreviewCommand(**devices, line->arguments);

    std::cerr << "lumacore-cli: unknown command '" << line->command << "'\n" << kUsage;
    return kExitUsage;
}
