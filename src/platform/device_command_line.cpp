#include "platform/device_command_line.h"

#include <cstdlib>

#include "platform/system_device_map.h"

namespace lumacore {

namespace {

Error UsageError(std::string message) { return Error::Make(ErrorKind::InvalidArgument, std::move(message)); }

}  // namespace

Result<CommandLine> ParseCommandLine(const std::vector<std::string>& argv, const char* imagesVariable) {
    CommandLine line;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word == "--image") {
            if (i + 1 >= argv.size()) return UsageError("--image needs a file name");
            line.global.images.push_back(argv[++i]);
        } else if (word.rfind("--image=", 0) == 0) {
            line.global.images.push_back(word.substr(8));
        } else if (word == "--no-devices") {
            line.global.includeBlockDevices = false;
        } else if (line.command.empty() && word.rfind("--", 0) != 0) {
            line.command = word;
        } else {
            line.arguments.push_back(word);
        }
    }
    if (const char* list = imagesVariable ? std::getenv(imagesVariable) : nullptr) {
        for (std::string& path : SystemDeviceMap::SplitImageList(list)) line.global.images.push_back(std::move(path));
    }
    return line;
}

}  // namespace lumacore
