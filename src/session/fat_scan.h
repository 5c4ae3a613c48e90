#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/fat/fat_file_node.h"
#include "platform/device_map.h"
#include "recovery/recovered_file_writer.h"
#include "session/found_files.h"
#include "session/recover_result.h"
#include "session/sector_range.h"

namespace lumacore {

enum class FatScanMode { Deleted, Formatted };

// A finished scan of a FAT volume, for the scan and recover commands.
struct FatScan {
    FatScanMode mode = FatScanMode::Deleted;
    FatResultTree tree;
    FatResultTree::ItemId root = FatResultTree::kNoItem;
    bool completed = false;  // false when a directory could not be read; the tree holds what was found
    std::unordered_map<FatResultTree::ItemId, FatFolderTimes> folderTimes;  // deleted-file scan only
};

bool IsFatRecord(const PartitionInfo& partition);

// Runs the scan (until `stop`, when given, asks it to end); an error when the volume cannot be opened
// or is not a FAT volume the engine reads.
Result<std::unique_ptr<FatScan>> ScanFatVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                               const FilterSettings& filter, ProgressFields& progress,
                                               FatScanMode mode = FatScanMode::Deleted,
                                               SectorRange range = {}, const StopToken* stop = nullptr,
                                               OrphanSweep sweep = OrphanSweep::Auto);

// The tree as indented text: a folder's files (name, size, attributes, modified, created, accessed,
// tab-separated), then its folders; and the totals.
std::string FatTreeText(const FatScan& scan);

// Ticks every folder and file of the scan.
void CheckAllFat(FatScan& scan);
// Ticks the file or folder (with everything below it) at a '/'-separated path below the root, and the
// folders above it; an error when no such file or folder was found.
Result<void> CheckFatPath(FatScan& scan, const std::string& path);
// The listing as JSON (session/listing_json.h).
void WriteFatTreeJson(const FatScan& scan, JsonWriter& json);
std::string FatTreeJson(const FatScan& scan);

// Writes the ticked files and folders of the scan, reading their clusters from `volume`; an error when
// the volume cannot be opened.
Result<RecoverResult> RecoverFatFiles(const FatScan& scan, const DeviceMap& devices,
                                      const PartitionInfo& volume, RecoveredFileWriter& writer,
                                      ProgressFields& progress, const StopToken& stop);

// Scans with the engine table's request.
Result<std::unique_ptr<FoundFiles>> ScanFatFoundFiles(const VolumeScanRequest& request);

}  // namespace lumacore
