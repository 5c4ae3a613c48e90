#include "cli/volume_selection.h"

#include <charconv>

#include "cli/offset_volume.h"

namespace lumacore {

void AddVolumeOptions(OptionParser& options) {
    options.Value("--volume", "I", "the volume with this index in the 'disks' listing")
        .Value("--disk", "N", "physical drive N (--image files count from 0)")
        .Value(
            "--start", "SECTOR",
            "with --disk: the volume that starts at this sector; with --volume: where the formatted or raw "
            "scan begins (absolute sector on the disk)")
        .Value("--end", "SECTOR", "where the formatted or raw scan ends (absolute sector on the disk)");
    AddOffsetOption(options);
}

bool ParseUnsigned(const std::string& text, std::uint64_t& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

Result<PartitionInfo> SelectVolume(const CDiskInventory& inventory, const OptionParser& options) {
    auto usage = [](std::string message) {
        return Error::Make(ErrorKind::InvalidArgument, std::move(message));
    };
    if (const auto volume = options.Get("--volume")) {
        std::uint64_t index = 0;
        if (!ParseUnsigned(*volume, index)) return usage("--volume takes a volume index from 'disks --json'");
        if (index >= static_cast<std::uint64_t>(inventory.volumeCount())) {
            return usage("there is no volume " + *volume + " (" + std::to_string(inventory.volumeCount()) +
                         " volumes; see 'disks --json')");
        }
        return inventory.GetVolume(static_cast<int>(index));
    }
    // The volume --offset added is chosen by where it starts (a table entry there is the same volume).
    const auto offset = options.Get("--offset");
    const auto disk =
        offset && !options.Has("--disk") ? std::optional<std::string>("0") : options.Get("--disk");
    const auto start = options.Has("--start") ? options.Get("--start") : offset;
    if (!disk || !start) {
        return usage(
            "choose a volume with --volume I, with --disk N --start SECTOR, or with --offset SECTOR");
    }
    std::uint64_t diskNumber = 0;
    std::uint64_t startSector = 0;
    if (!ParseUnsigned(*disk, diskNumber) || !ParseUnsigned(*start, startSector)) {
        return usage("--disk and --start take whole numbers");
    }
    for (const PartitionInfo& p : inventory.volumes) {
        if (p.diskNumber >= 0 && static_cast<std::uint64_t>(p.diskNumber) == diskNumber &&
            p.startSector == startSector) {
            return p;
        }
    }
    return usage("no volume of disk " + *disk + " starts at sector " + *start);
}

Result<SectorRange> ScanRangeFromOptions(const OptionParser& options, const PartitionInfo& volume) {
    SectorRange range;
    auto relative = [&](const std::string& name, const std::string& text) -> Result<std::uint32_t> {
        std::uint64_t sector = 0;
        if (!ParseUnsigned(text, sector) || sector < volume.startSector || sector > volume.EndSector()) {
            return Error::Make(ErrorKind::InvalidArgument,
                               name + " takes a sector from " + std::to_string(volume.startSector) + " to " +
                                   std::to_string(volume.EndSector()) + " (absolute on the disk)");
        }
        return static_cast<std::uint32_t>(sector - volume.startSector);
    };
    if (options.Has("--volume")) {
        if (const auto start = options.Get("--start")) {
            auto value = relative("--start", *start);
            if (!value) return value.error();
            range.start = *value;
        }
    }
    if (const auto end = options.Get("--end")) {
        auto value = relative("--end", *end);
        if (!value) return value.error();
        range.end = *value;
    }
    if (range.start && range.end && *range.start > *range.end) {
        return Error::Make(ErrorKind::InvalidArgument, "--start lies after --end");
    }
    return range;
}

}  // namespace lumacore
