// The signature scan over one image file as the benchmark runs it: the whole image carved with every
// shipped signature, the result printed as the scan command prints it (JSON with --json). Built by
// bench/raw_run_bench.sh against the library; used until the command line's own `scan --mode raw`
// is there.
#include <iostream>

#include "cli/raw_options.h"
#include "session/raw_scan.h"
#include "platform/system_device_map.h"

using namespace lumacore;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: raw-carve IMAGE [--json] [scan options]\n";
        return 2;
    }
    SystemDeviceMap::Options deviceOptions;
    deviceOptions.images = {argv[1]};
    deviceOptions.includeBlockDevices = false;
    auto devices = SystemDeviceMap::Create(deviceOptions);
    if (!devices) {
        std::cerr << devices.error().message << '\n';
        return 2;
    }
    OptionParser options;
    options.Value("--volume").Value("--disk").Value("--start").Value("--end").Flag("--json");
    AddRawOptions(options);
    std::vector<std::string> arguments{"--disk", "0"};
    for (int i = 2; i < argc; ++i) arguments.emplace_back(argv[i]);
    if (auto parsed = options.Parse(arguments); !parsed) {
        std::cerr << parsed.error().message << '\n';
        return 2;
    }
    return RunRawScanCommand(**devices, options);
}
