#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "core/partition_info.h"
#include "core/result.h"
#include "session/found_files.h"

namespace lumacore {

// The result page of the desktop program that shows an engine's findings.
enum class ResultPageFamily { Fat16, Fat32, Exfat, Ntfs, Ext, Raw };

// A file-system name the system reports for a lettered volume, and the page that shows it.
struct LetteredVolumeName {
    std::string_view fsName;
    ResultPageFamily page;
};

// One engine as the front ends see it. Adding an engine is adding its row to EngineTable().
struct EngineRow {
    std::string_view name;
    // The volume records (file-system names of the partition walk and of lettered volumes) it reads;
    // nullptr reads any source (RAW carving).
    bool (*readsVolume)(const PartitionInfo& volume);
    // The home page's recovery modes (core/scan_mode.h) it runs.
    std::span<const int> modes;
    // The names the system reports for lettered volumes of this engine's file system. The desktop program
    // opens a result page only for these; the volume probe reports only these.
    std::span<const LetteredVolumeName> letteredNames;
    // The desktop page that shows its findings (the lettered names may pick a variant of it).
    ResultPageFamily page;
    // Runs the scan; an error when the volume cannot be opened or read by this engine.
    Result<std::unique_ptr<FoundFiles>> (*scan)(const VolumeScanRequest& request);

    bool Runs(int mode) const;
};

std::span<const EngineRow> EngineTable();

// The engine that reads `volume` in `mode`; nullptr when none does.
const EngineRow* FindEngine(const PartitionInfo& volume, int mode);
// The desktop result page for a volume named `fsName` in `mode`: the carving page in the RAW mode, in
// the deleted-file and formatted-drive modes the page of the engine that lists the name as a lettered
// volume (the page runs what its engine can). nullopt when no page shows it.
std::optional<ResultPageFamily> ResultPageFor(int mode, std::string_view fsName);
// Whether the system letters volumes of this name (the volume probe keeps only these).
bool IsLetteredVolumeName(std::string_view fsName);

}  // namespace lumacore
