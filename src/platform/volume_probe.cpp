#include "platform/volume_probe.h"

#include <blkid/blkid.h>

#include <memory>
#include <optional>

#include "platform/device.h"
#include "platform/image_opener.h"
#include "platform/probe_shadow.h"
#include "platform/volume_free_space.h"

namespace lumacore {

namespace {

struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using ProbePtr = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

std::string LookupValue(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || data == nullptr) return {};
    std::string value(data, length);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

// The system-style file-system name of the bytes at [offset, offset + length), empty when not FAT, NTFS
// or exFAT.
std::optional<VolumeInformation> IdentifyFileSystem(int fd, std::uint64_t offset, std::uint64_t length) {
    ProbePtr probe(blkid_new_probe());
    if (!probe) return std::nullopt;
    if (blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(offset),
                               static_cast<blkid_loff_t>(length)) != 0) {
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe.get(), 0);
    if (blkid_do_safeprobe(probe.get()) != 0) return std::nullopt;
    const std::string type = LookupValue(probe.get(), "TYPE");
    VolumeInformation info;
    info.label = LookupValue(probe.get(), "LABEL");
    if (type == "vfat" || type == "msdos") {
        info.fileSystemName = LookupValue(probe.get(), "VERSION") == "FAT32" ? "FAT32" : "FAT";
    } else if (type == "ntfs") {
        info.fileSystemName = "NTFS";
    } else if (type == "exfat") {
        info.fileSystemName = "exFAT";
    } else {
        return std::nullopt;
    }
    return info;
}

// Partition extents as libblkid reads the partition table; the whole disk when there is none.
std::vector<PartitionExtent> ListExtents(int fd, std::uint64_t diskSize) {
    std::vector<PartitionExtent> extents;
    ProbePtr probe(blkid_new_probe());
    if (probe && blkid_probe_set_device(probe.get(), fd, 0, 0) == 0) {
        blkid_probe_enable_superblocks(probe.get(), 0);
        blkid_probe_enable_partitions(probe.get(), 1);
        blkid_partlist list = blkid_probe_get_partitions(probe.get());
        const int count = list ? blkid_partlist_numof_partitions(list) : 0;
        for (int i = 0; i < count; ++i) {
            blkid_partition part = blkid_partlist_get_partition(list, i);
            if (part == nullptr || blkid_partition_is_extended(part)) continue;
            const blkid_loff_t start = blkid_partition_get_start(part);
            const blkid_loff_t size = blkid_partition_get_size(part);
            if (start < 0 || size <= 0) continue;
            extents.push_back(PartitionExtent{static_cast<std::uint64_t>(start) * 512,
                                              static_cast<std::uint64_t>(size) * 512});
        }
        // A table without one partition is no table: an exFAT volume made on a whole disk ends its boot
        // sector with 55 AA and has zeros where the entries would be, which libblkid takes for an empty
        // DOS table.
        if (list != nullptr && blkid_partlist_get_table(list) != nullptr && !extents.empty()) return extents;
    }
    extents.clear();
    extents.push_back(PartitionExtent{0, diskSize});
    return extents;
}

}  // namespace

std::vector<ProbedVolume> ProbeVolumes(const std::string& path) {
    std::vector<ProbedVolume> volumes;
    auto device = OpenImage(path, AccessMode::ReadOnly);
    if (!device) return volumes;
    const auto* plain = dynamic_cast<const Device*>(device->get());
    std::optional<ProbeShadow> shadow;
    if (plain == nullptr) {
        shadow.emplace(**device);
        shadow->CopyTables();
    }
    const int fd = plain != nullptr ? plain->descriptor() : shadow->descriptor();
    if (fd < 0) return volumes;
    for (const PartitionExtent& extent : ListExtents(fd, (*device)->Size())) {
        if (extent.startingOffset >= (*device)->Size()) continue;
        if (shadow) shadow->CopyVolumeStart(extent.startingOffset, extent.length);
        auto info = IdentifyFileSystem(fd, extent.startingOffset, extent.length);
        if (!info) continue;
        ProbedVolume volume;
        volume.extent = extent;
        volume.information = *info;
        // exFAT keeps its free space in an allocation bitmap that only its engine reads.
        if (info->fileSystemName == "NTFS") {
            volume.freeSpace = NtfsFreeSpace(**device, extent.startingOffset);
        } else if (info->fileSystemName != "exFAT") {
            volume.freeSpace = FatFreeSpace(**device, extent.startingOffset);
        }
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

}  // namespace lumacore
