#pragma once

#include <string>
#include <vector>

#include "core/result.h"

namespace lumacore {

// Options that both programs take: which disks exist.
struct GlobalOptions {
    std::vector<std::string> images;  // --image, in order, then LUMACORE_IMAGES
    bool includeBlockDevices = true;  // false with --no-devices
};

struct CommandLine {
    GlobalOptions global;
    std::string command;
    std::vector<std::string> arguments;  // what follows the command, global options taken out
};

// Global options may stand before or after the command.
Result<CommandLine> ParseCommandLine(const std::vector<std::string>& argv, const char* imagesVariable);

}  // namespace lumacore
