#include "engines/exfat/exfat_volume.h"

namespace lumacore {

CExfatVolume::CExfatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
    : disk_(std::move(disk)), driveLetter_(partition.driveLetter) {
    if (!disk_) {
        openError_ = Error::Make(ErrorKind::InvalidArgument, "no disk");
        return;
    }
    // The inventory counts partition starts in 512-byte sectors, whatever the volume's own sector size.
    auto layout = ExfatLayout::Load(*disk_, std::uint64_t{partition.startSector} * 512);
    if (!layout) {
        openError_ = layout.error();
        return;
    }
    layout_ = std::move(*layout);
    open_ = true;
    rangeStart = 0;
    rangeEnd = layout_.geometry().volumeLength;
}

bool IsExfatRecord(const PartitionInfo& partition) {
    const std::string name = partition.FsName();
    return name == "exFAT" || name == "EXFAT" || name == "#exFAT#";
}

}  // namespace lumacore
