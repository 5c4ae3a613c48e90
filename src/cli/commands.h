#pragma once

#include <string>
#include <vector>

#include "platform/device_map.h"

namespace lumacore {

// Each command gets the device map built from the global options and its own arguments, prints its
// result on stdout and its messages on stderr, and returns the process exit code.
int RunDisksCommand(const DeviceMap& devices, const std::vector<std::string>& arguments);
int RunScanCommand(const DeviceMap& devices, const std::vector<std::string>& arguments);
int RunRecoverCommand(const DeviceMap& devices, const std::vector<std::string>& arguments);
int RunPartitionsCommand(const DeviceMap& devices, const std::vector<std::string>& arguments);
int RunPreviewCommand(const DeviceMap& devices, const std::vector<std::string>& arguments);
// Needs no disks: works on the given mail store files.
int RunRepairCommand(const std::vector<std::string>& arguments);

}  // namespace lumacore
