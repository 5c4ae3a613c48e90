#pragma once

#include <memory>
#include <string>

#include "core/filter_settings.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/ext/ext_file_node.h"
#include "engines/ext/ext_volume.h"
#include "platform/device_map.h"
#include "recovery/recovered_file_writer.h"
#include "session/ext_recover_run.h"
#include "session/found_files.h"

namespace lumacore {

// A finished deleted-file scan of an EXT volume, for the scan and recover commands. The engine stays
// with the scan: the records live in it, and recovery reads through it.
struct ExtScan {
    std::unique_ptr<CExtVolume> engine;
    ExtResultTree tree;
    ExtResultTree::ItemId root = ExtResultTree::kNoItem;
    ExtResultTree::ItemId lostFiles =
        ExtResultTree::kNoItem;  // "Lost files": the records the filter let through
    bool completed =
        false;  // false when the journal could not be read to its end; the list is what was found
    std::string source;  // the disk or image read, as the recovery report names it
};

// "EXT2", "EXT3" and "EXT4" records.
bool IsExtRecord(const PartitionInfo& partition);

// Opens the volume's engine and runs the deleted-file scan; "Lost files" keeps the records that pass the
// filter (name, type text, the creation date in local time and the size). An error when the volume cannot be
// opened as an EXT volume. `stop`, when given, can end the scan early.
Result<std::unique_ptr<ExtScan>> ScanExtVolume(const DeviceMap& devices, const PartitionInfo& partition,
                                               const FilterSettings& filter, ProgressFields& progress,
                                               const StopToken* stop = nullptr);

// The tree as text: the root, "Lost files/", one tab-separated row per file (name, size, type,
// attributes, modified, created, accessed, inode number), and the totals.
std::string ExtTreeText(const ExtScan& scan);
// The listing as JSON (session/listing_json.h); its older part has the root and folder names, and per
// file the row texts, the size in bytes and the inode number.
void WriteExtTreeJson(const ExtScan& scan, JsonWriter& json);
std::string ExtTreeJson(const ExtScan& scan);

// Ticks every listed file.
void CheckAllExt(ExtScan& scan);
// Ticks the listed files named `path` ("name", "Lost files/name", or "Lost files" for all of them; a
// name is the one the list shows); an error when none matches.
Result<void> CheckExtPath(ExtScan& scan, const std::string& path);
// Ticks the listed files of inode `inode`; NotFound when none is listed.
Result<void> CheckExtInode(ExtScan& scan, std::uint64_t inode);

// Writes the ticked files into the writer's destination root (after CheckDestination has accepted it).
ExtRecoverRunResult RecoverExtFiles(ExtScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                                    const StopToken& stop);

// Scans with the engine table's request.
Result<std::unique_ptr<FoundFiles>> ScanExtFoundFiles(const VolumeScanRequest& request);

}  // namespace lumacore
