#include "partition/table_refresh.h"

#include "platform/device.h"

namespace lumacore {

TableRefresh RefreshPartitionTable(const DeviceMap& devices, int diskNumber) {
    devices.ForgetVolumes();
    const std::string path = devices.PhysicalDrivePath(diskNumber);
    auto device = Device::Open(path, AccessMode::ReadOnly);
    if (!device || !(*device)->isBlockDevice()) return {TableRefresh::kImageFile, kImageNeedsNoRestart};
    if (auto reread = RereadPartitionTable(path); !reread) {
        return {TableRefresh::kRestartNeeded,
                reread.error().message + "; restart the computer to use the restored partition."};
    }
    return {TableRefresh::kKernelReread, kKernelReread};
}

}  // namespace lumacore
