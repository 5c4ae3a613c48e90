// lumacore-cli: the recovery engines from a terminal.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/system_device_map.h"

#ifndef LUMACORE_VERSION
#error "the build gives the project's version"
#endif

namespace {

constexpr const char* kUsage =
    "usage: lumacore-cli [--image FILE]... [--no-devices] COMMAND [OPTIONS]\n"
    "       lumacore-cli COMMAND --help | --help | --version\n"
    "\n"
    "Disks: image files given with --image (and in LUMACORE_IMAGES, colon-separated) are physical\n"
    "drives 0, 1, ... in that order; the machine's own disks follow unless --no-devices is given.\n"
    "Every volume has an index ('disks' shows it) that the other commands take as --volume.\n"
    "A volume no partition table names is read with --offset SECTOR [--disk N] (scan, recover,\n"
    "preview, disks), which adds it to the volume table.\n"
    "\n"
    "Commands (each takes --help for its options and examples):\n"
    "  disks [--json] [--index] [--disk N --offset SECTOR]\n"
    "                     list the disks and their volumes, partition-table entries and gaps\n"
    "  scan (--volume I | --disk N --start SECTOR) [--mode deleted|formatted] [--json]\n"
    "       [--category 0..6] [--date before|after|on:YYYY-MM-DD]\n"
    "       [--size equal|smaller|larger|between:KB[:KB]] [--name TEXT]\n"
    "                     list the deleted files and folders of a volume (formatted: what a quick\n"
    "                     format left behind, from --start to --end)\n"
    "  scan (--volume I | --disk N [--start SECTOR]) --mode raw [--end SECTOR] [--json]\n"
    "       [--size-limit KB] [--types EXT,...] [--signatures FILE]\n"
    "                     files carved by their signatures; --disk N alone is the whole disk\n"
    "  recover (--volume I | --disk N --start SECTOR) [--mode deleted|formatted|raw] --to DIR\n"
    "       [--overwrite ask|yes|no|all] [--only PATH]... [filter or raw options as for scan]\n"
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
    "                     write repaired copies of mail store files into DIR, with the repair log\n"
    "\n"
    "Exit status:\n"
    "  0  everything asked was done\n"
    "  1  it could not be done (unreadable disk, refused destination, not a mail store file, ...)\n"
    "  2  bad command line or input (unknown option, missing image, no such volume or file)\n"
    "  3  done in part: some files failed, or the run was cancelled\n";

constexpr const char* kCommands[] = {"disks", "scan", "recover", "preview", "partitions", "repair"};

bool IsCommand(const std::string& word) {
    return std::ranges::find(kCommands, word) != std::end(kCommands);
}

bool AsksForHelp(const std::vector<std::string>& words) {
    return std::ranges::any_of(words, [](const std::string& w) { return w == "--help" || w == "-h"; });
}

}  // namespace

int main(int argc, char** argv) {
    using namespace lumacore;
    std::vector<std::string> words(argv + 1, argv + argc);
    // "help COMMAND" is "COMMAND --help"; a lone "-h" is "--help".
    if (!words.empty() && words.front() == "help" && words.size() > 1) {
        words.erase(words.begin());
        words.push_back("--help");
    }
    auto line = ParseCommandLine(words, "LUMACORE_IMAGES");
    if (!line) {
        std::cerr << "lumacore-cli: " << line.error().message << '\n' << kUsage;
        return kExitUsage;
    }
    if (line->command == "-h" || line->command == "help" ||
        (line->command.empty() && AsksForHelp(line->arguments))) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (line->command.empty() && std::ranges::find(line->arguments, "--version") != line->arguments.end()) {
        std::cout << "lumacore-cli " << LUMACORE_VERSION << '\n';
        return kExitOk;
    }
    if (line->command.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    if (!IsCommand(line->command)) {
        std::cerr << "lumacore-cli: unknown command '" << line->command << "'\n" << kUsage;
        return kExitUsage;
    }

    if (line->command == "repair") return RunRepairCommand(line->arguments);

    // A command's help needs no disks: a missing image must not hide it.
    const bool helpOnly = AsksForHelp(line->arguments);
    auto devices =
        helpOnly ? SystemDeviceMap::Create({{}, false, "/sys"})
                 : SystemDeviceMap::Create({line->global.images, line->global.includeBlockDevices, "/sys"});
    if (!devices) {
        std::cerr << "lumacore-cli: " << devices.error().message << '\n';
        return kExitUsage;
    }

    if (line->command == "disks") return RunDisksCommand(**devices, line->arguments);
    if (line->command == "scan") return RunScanCommand(**devices, line->arguments);
    if (line->command == "recover") return RunRecoverCommand(**devices, line->arguments);
    if (line->command == "partitions") return RunPartitionsCommand(**devices, line->arguments);
    return RunPreviewCommand(**devices, line->arguments);
}
