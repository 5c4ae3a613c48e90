#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumacore {

// What sysfs tells about a whole-disk block device.
struct BlockDeviceInfo {
    std::string name;     // kernel name, e.g. "sda"
    std::string devPath;  // "/dev/sda"
    std::string vendor;   // as stored (trailing spaces kept), empty when the device has none
    std::string model;
    bool removable = false;
    std::uint32_t busType = 0;  // storage bus type number
};

// Whole disks under sysRoot/block whose names are those of real disks (sd*, nvme*n*, mmcblk*, vd*,
// xvd*, hd*), in natural name order. Loop, RAM, zram, device-mapper and md devices are left out.
std::vector<BlockDeviceInfo> ListWholeDisks(const std::string& sysRoot = "/sys");

// True for kernel names of whole disks we list (exposed for tests).
bool IsListedDiskName(const std::string& name);

}  // namespace lumacore
