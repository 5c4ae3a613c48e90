#include "cli/raw_options.h"

#include <iostream>

#include "cli/offset_volume.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/json_writer.h"
#include "core/scan_mode.h"
#include "disk/disk_inventory.h"
#include "disk/whole_disk_record.h"

namespace lumacore {

namespace {

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        if (comma > from) parts.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return parts;
}

Error Usage(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

}  // namespace

void AddRawOptions(OptionParser& options) {
    options
        .Value("--size-limit", "KB",
               "raw mode: the largest file carved where its format does not tell its end (default 512000)")
        .Value("--types", "EXT[,EXT]...",
               "raw mode: carve only these types, named by extension (jpg,png,pdf)")
        .Value("--signatures", "FILE", "raw mode: the signature file instead of rp.dat");
}

Result<RawScanRequest> RawRequestFromOptions(const DeviceMap& devices, const OptionParser& options) {
    RawScanRequest request;
    if (options.Has("--volume") || options.Has("--start") || options.Has("--offset")) {
        CDiskInventory inventory(devices);
        inventory.Refresh();
        if (auto added = AddOffsetVolume(inventory, devices, options); !added) return added.error();
        auto volume = SelectVolume(inventory, options);
        if (!volume) return volume.error();
        request.source = *volume;
    } else if (const auto disk = options.Get("--disk")) {
        // The whole disk, read without its partition table: a lost table is when carving is needed.
        std::uint64_t number = 0;
        if (!ParseUnsigned(*disk, number) ||
            number >= static_cast<std::uint64_t>(devices.PhysicalDriveCount())) {
            return Usage("there is no disk " + *disk + " (" + std::to_string(devices.PhysicalDriveCount()) +
                         " disks)");
        }
        const int drive = static_cast<int>(number);
        std::uint64_t bytes = devices.QueryDiskLength(drive);
        if (bytes == 0) {
            auto opened = devices.OpenPhysicalDrive(drive, AccessMode::ReadOnly);
            if (!opened) return opened.error();
            bytes = (*opened)->Size();
        }
        request.source = WholeDiskRecord(drive, bytes);
    } else {
        return Usage(
            "choose what to carve with --volume I, --disk N --start SECTOR, or --disk N for the whole disk");
    }
    auto range = ScanRangeFromOptions(options, request.source);
    if (!range) return range.error();
    request.start = range->start;
    request.end = range->end;
    if (request.start && request.end && *request.start >= *request.end) {
        return Usage("Start sector must be less than end sector");
    }
    if (const auto limit = options.Get("--size-limit")) {
        std::uint64_t kilobytes = 0;
        if (!ParseUnsigned(*limit, kilobytes) || kilobytes > CRawCarver::kMaxSizeLimitKb) {
            return Usage("--size-limit takes kilobytes from 1 to " +
                         std::to_string(CRawCarver::kMaxSizeLimitKb) + " (0 for the default " +
                         std::to_string(CRawCarver::kDefaultSizeLimitKb) + ")");
        }
        request.sizeLimitKb = static_cast<std::uint32_t>(kilobytes);
    }
    if (const auto types = options.Get("--types")) {
        request.types = SplitList(*types);
        if (request.types.empty()) return Usage("--types takes extensions such as jpg,png,pdf");
    }
    if (const auto file = options.Get("--signatures")) request.signatureFile = *file;
    return request;
}

int RunRawScanCommand(const DeviceMap& devices, const OptionParser& options) {
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli scan: " << message << '\n';
        return code;
    };
    auto plan = PlanScan(devices, options, SCAN_RAW, false);
    if (!plan) return fail(plan.error().message, ExitCodeOf(plan.error()));
    auto found = RunPlannedScan(devices, *plan);
    if (!found) return fail(found.error().message, ExitCodeOf(found.error()));
    if (options.Has("--json")) {
        JsonWriter json(std::cout);
        (*found)->WriteJson(json);
    } else {
        std::cout << (*found)->Text();
    }
    return kExitOk;
}

}  // namespace lumacore
