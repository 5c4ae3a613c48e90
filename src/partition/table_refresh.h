#pragma once

#include <string>

#include "platform/device_map.h"

namespace lumacore {

// What follows a restore: the kernel learns the new table of a real disk at once when no partition of
// it is in use; otherwise only a restart shows it. A disk image has no kernel view to refresh.
struct TableRefresh {
    enum Kind { kImageFile, kKernelReread, kRestartNeeded };
    Kind kind = kImageFile;
    std::string message;  // one sentence for the user
};

constexpr const char* kImageNeedsNoRestart = "The disk is an image file: nothing needs restarting.";
constexpr const char* kKernelReread = "The kernel has read the new partition table; no restart is needed.";

// Asks the kernel to re-read the table of a real disk and the device map to find the volumes again (a
// restored volume gets its letter at once); says what the user has to do.
TableRefresh RefreshPartitionTable(const DeviceMap& devices, int diskNumber);

}  // namespace lumacore
