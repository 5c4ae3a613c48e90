#pragma once

#include <memory>
#include <string>

#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/exfat/exfat_volume.h"
#include "platform/device_map.h"
#include "recovery/recovered_file_writer.h"
#include "session/found_files.h"
#include "session/recover_result.h"
#include "session/sector_range.h"

namespace lumacore {

enum class ExfatScanMode { Deleted, Formatted };

// A finished scan of an exFAT volume, for the scan and recover commands and the exFAT page.
struct ExfatScan {
    ExfatScanMode mode = ExfatScanMode::Deleted;
    ExfatResultTree tree;
    ExfatResultTree::ItemId root = ExfatResultTree::kNoItem;
    bool completed = false;  // false when a directory could not be read; the tree holds what was found
};

// Runs the scan (until `stop`, when given, asks it to end); an error when the volume cannot be opened
// or is not an exFAT volume the engine reads. `range` (sectors of 512 bytes relative to the volume)
// bounds the formatted-drive scan.
Result<std::unique_ptr<ExfatScan>> ScanExfatVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                                   const FilterSettings& filter, ProgressFields& progress,
                                                   ExfatScanMode mode = ExfatScanMode::Deleted,
                                                   SectorRange range = {}, const StopToken* stop = nullptr);

// The tree as indented text: a folder's files (name, size, attributes, modified, created, accessed,
// tab-separated), then its folders; and the totals.
std::string ExfatTreeText(const ExfatScan& scan);
// The same as JSON, with the fields of the FAT listing plus each file's valid data length.
// The listing as JSON (session/listing_json.h).
void WriteExfatTreeJson(const ExfatScan& scan, JsonWriter& json);
std::string ExfatTreeJson(const ExfatScan& scan);

void CheckAllExfat(ExfatScan& scan);
// Ticks the file or folder (with everything below it) at a '/'-separated path below the root, and the
// folders above it; an error when no such file or folder was found.
Result<void> CheckExfatPath(ExfatScan& scan, const std::string& path);

// Writes the ticked files and folders of the scan, reading their clusters from `volume`; an error when
// the volume cannot be opened.
Result<RecoverResult> RecoverExfatFiles(const ExfatScan& scan, const DeviceMap& devices,
                                        const PartitionInfo& volume, RecoveredFileWriter& writer,
                                        ProgressFields& progress, const StopToken& stop);

// Scans with the engine table's request.
Result<std::unique_ptr<FoundFiles>> ScanExfatFoundFiles(const VolumeScanRequest& request);

}  // namespace lumacore
