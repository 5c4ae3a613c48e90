#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/partition_info.h"
#include "core/progress.h"
#include "disk/whole_disk_record.h"
#include "engines/raw/raw_carver.h"
#include "engines/raw/signature_entry.h"
#include "platform/device_map.h"
#include "recovery/recovered_file_writer.h"
#include "session/found_files.h"
#include "session/raw_recover_run.h"

namespace lumacore {

// What to carve: a volume, a gap or a whole disk, the part of it, the size limit and the file types.
struct RawScanRequest {
    PartitionInfo source;
    std::optional<std::uint32_t> start;  // sectors relative to the source; the whole source when not given
    std::optional<std::uint32_t> end;
    std::uint32_t sizeLimitKb = 0;        // 0: the default 512000 KB
    std::vector<std::string> types;       // extensions to search; empty: every type of the signature file
    std::filesystem::path signatureFile;  // empty: "rp.dat" in the current folder, else beside the program
    bool parseEnds = true;                // false: every file from its header to the next header
    // Not empty: search exactly these entries as they are ticked (the options dialog's list, entry by
    // entry, so two entries sharing an extension keep their own ticks); the file and `types` are unused.
    std::vector<SignatureEntry> entries;
};

// A finished signature scan, for the scan and recover commands. The carver stays with it: it owns the
// found files and reads their sectors; the signature list it matched with lives here too.
struct RawScan {
    RawTypeSelection signatures;
    std::unique_ptr<CRawCarver> carver;
    RawResultTree tree;
    RawResultTree::ItemId root = RawResultTree::kNoItem;
    std::string source;  // the disk or image read, as the recovery report names it
};

// Runs the scan; an error when the disk cannot be opened, the signature file cannot be read or holds
// no signature, or a requested type is not in it. `stop`, when given, can end the carving early.
Result<std::unique_ptr<RawScan>> ScanRaw(const DeviceMap& devices, const RawScanRequest& request,
                                         ProgressFields& progress, const StopToken* stop = nullptr);

// The tree as indented text (each kind, then its files: name, size, first sector, tab-separated) and
// the totals; the JSON form lists each file's name, description, extension, first sector (relative to
// the source and absolute on the disk) and length.
std::string RawTreeText(const RawScan& scan);
// The listing as JSON (session/listing_json.h).
void WriteRawTreeJson(const RawScan& scan, JsonWriter& json);
std::string RawTreeJson(const RawScan& scan);

// Ticks every found file.
void CheckAllRaw(RawScan& scan);
// Ticks the files of a kind ("JPEG image"), one file of a kind ("JPEG image/File0.jpg") or one file by
// its name ("File0.jpg"); an error when nothing by that name was found.
Result<void> CheckRawPath(RawScan& scan, const std::string& path);

// Writes the ticked files (added to the carver's selection) below the writer's destination, one folder
// per extension.
RawRecoverRunResult RecoverRaw(RawScan& scan, RecoveredFileWriter& writer, ProgressFields& progress,
                               const StopToken& stop);

// Scans with the engine table's request: the volume is the carving source.
Result<std::unique_ptr<FoundFiles>> ScanRawFoundFiles(const VolumeScanRequest& request);

}  // namespace lumacore
