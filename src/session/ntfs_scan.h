#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/ntfs/ntfs_file_node.h"
#include "engines/ntfs/ntfs_volume.h"
#include "platform/device_map.h"
#include "recovery/recovered_file_writer.h"
#include "session/found_files.h"
#include "session/ntfs_recover_run.h"
#include "session/recover_result.h"
#include "session/sector_range.h"

namespace lumacore {

enum class NtfsScanMode { Deleted, Formatted };

// A finished scan of an NTFS volume, for the scan and recover commands. The engine stays with it:
// it owns the nodes and reads their data.
struct NtfsScan {
    NtfsScanMode mode = NtfsScanMode::Deleted;
    std::unique_ptr<CNtfsVolume> volume;
    NtfsResultTree tree;
    NtfsResultTree::ItemId root = NtfsResultTree::kNoItem;
    std::string source;  // the disk or image read, as the recovery report names it
};

// Runs the scan; an error when the volume cannot be opened or has no readable MFT. The formatted
// mode searches `range` (sectors relative to the volume; all of it by default) for MFT records.
Result<std::unique_ptr<NtfsScan>> ScanNtfsVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                                 const FilterSettings& filter, ProgressFields& progress,
                                                 NtfsScanMode mode = NtfsScanMode::Deleted,
                                                 SectorRange range = {}, const StopToken* stop = nullptr);

// The tree as indented text: a folder's files (name, size, attributes, modified, created, accessed,
// tab-separated), then its folders; and the totals.
std::string NtfsTreeText(const NtfsScan& scan);
// The listing as JSON (session/listing_json.h).
void WriteNtfsTreeJson(const NtfsScan& scan, JsonWriter& json);
std::string NtfsTreeJson(const NtfsScan& scan);

// Ticks every file of the scan.
void CheckAllNtfs(NtfsScan& scan);
// Ticks the file (or named stream) or the folder with everything below it at a '/'-separated path
// below the root; an error when nothing there was found.
Result<void> CheckNtfsPath(NtfsScan& scan, const std::string& path);
// Ticks every listed file (and named stream) of MFT record `record`; NotFound when none is listed.
Result<void> CheckNtfsRecord(NtfsScan& scan, std::uint64_t record);

// Builds the engine's selection from what is ticked now; true when it holds nothing.
bool NothingCheckedNtfs(NtfsScan& scan);
// Writes the ticked files and streams into their folder chains below the writer's destination.
RecoverResult RecoverNtfsFiles(NtfsScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                               const StopToken& stop);

// Scans with the engine table's request.
Result<std::unique_ptr<FoundFiles>> ScanNtfsFoundFiles(const VolumeScanRequest& request);

}  // namespace lumacore
