#pragma once

#include "cli/arguments.h"
#include "platform/device_map.h"
#include "session/raw_scan.h"

namespace lumacore {

// AddRawOptions registers --size-limit KB, --types ext,ext,... and --signatures FILE (the scan and
// recover commands register --volume/--disk/--start, --end, --json, --to, --overwrite and --only
// themselves). The source is --volume I (with --start S/--end E inside it), --disk N --start S (the
// volume there), or --disk N alone: the whole disk, whatever its partition table says.
void AddRawOptions(OptionParser& options);
Result<RawScanRequest> RawRequestFromOptions(const DeviceMap& devices, const OptionParser& options);
// `scan --mode raw` as the carving benchmark runs it: prints the tree (text, or JSON with --json) and
// returns the exit code.
int RunRawScanCommand(const DeviceMap& devices, const OptionParser& options);

}  // namespace lumacore
