#include "disk/drive_tree_text.h"

#include "core/size_text.h"

namespace lumacore {

std::string DiskItemText(const DiskInfo& disk) {
    const std::string model = disk.Model();
    if (disk.sizeBytes < 1024) return Format("%s (%d Byte)", model.c_str(), static_cast<int>(disk.sizeBytes));
    return model + " (" + SizeText(disk.sizeBytes) + ")";
}

std::string DiskListItemText(const DiskInfo& disk) {
    const std::string model = disk.Model();
    const char* bus = BusTypeName(disk.busType);
    if (disk.sizeBytes < 1024) {
        return Format("%s (  BusType :  %s ,    Size :  %d B  )", model.c_str(), bus, static_cast<int>(disk.sizeBytes));
    }
    const ScaledSize size = ScaleSize(disk.sizeBytes);
    if (std::string_view(size.unit) == "KB") {
        return Format("%s(  BusType :   %s ,    Size :  %.2f KB  )", model.c_str(), bus, size.value);
    }
    return Format("%s (  BusType :  %s ,    Size :  %.2f %s  )", model.c_str(), bus, size.value, size.unit);
}

std::string VolumeItemText(const PartitionInfo& volume) {
    return Format("(%c:\\) %s (%s)", volume.driveLetter, volume.FsName().c_str(), SizeText(volume.totalBytes).c_str());
}

std::string WholeDiskItemText(const PartitionInfo& wholeDisk) {
    return Format("(%c:\\) Whole Disk (%s)", wholeDisk.driveLetter, SizeText(wholeDisk.totalBytes).c_str());
}

bool ModeAdmits(int mode, std::string_view fsName) {
    const bool fatOrNtfs =
        fsName == "NTFS" || fsName == "FAT32" || fsName == "FAT" || fsName == "FAT16" || fsName == "exFAT";
    switch (mode) {
        case SCAN_RAW:
            return true;
        case SCAN_FORMATTED:
            return fatOrNtfs;
        case SCAN_DELETED:
            return fatOrNtfs || fsName == "EXT3" || fsName == "EXT2" || fsName == "EXT4";
        default:
            return false;
    }
}

}  // namespace lumacore
