#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/filter_settings.h"
#include "core/json_writer.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "core/result.h"
#include "platform/device_map.h"
#include "preview/preview_source.h"
#include "recovery/recovered_file_writer.h"
#include "session/listing_json.h"
#include "session/recover_result.h"
#include "session/sector_range.h"

namespace lumacore {

// What the signature search carves: the size limit (0: the default 512000 KB), the extensions to
// search (empty: every type of the signature file) and the signature file (empty: "rp.dat" in the
// current folder, else beside the program).
struct CarvingOptions {
    std::uint32_t sizeLimitKb = 0;
    std::vector<std::string> types;
    std::filesystem::path signatureFile;
};

// Whether the deleted-file scan searches the free space for the folder clusters that no folder leads to
// any more (a deleted folder's later clusters): when the volume has deleted folders, always, or never.
enum class OrphanSweep { Auto, On, Off };

// What a scan of one volume is asked to do. `mode` is one of the home page's recovery modes.
struct VolumeScanRequest {
    const DeviceMap& devices;
    PartitionInfo volume;
    FilterSettings filter;
    int mode = 0;
    SectorRange range;  // the part of the volume the formatted-drive scan or the carver reads
    CarvingOptions carving;
    ProgressFields& progress;
    const StopToken* stop = nullptr;
    OrphanSweep orphanSweep = OrphanSweep::Auto;
};

// A finished scan as both front ends drive it without knowing its engine: list it, tick what is wanted,
// read one found file, and write the ticked files out. Paths are the '/'-separated names the listing
// shows.
class FoundFiles {
  public:
    virtual ~FoundFiles() = default;

    // The listing as indented text with the totals.
    virtual std::string Text() const = 0;
    // The listing as JSON (session/listing_json.h), written into `json` as it is walked.
    virtual void WriteJson(JsonWriter& json) const = 0;
    std::string Json() const {
        JsonWriter json;
        WriteJson(json);
        return json.text();
    }
    // Calls `visit` for every found file with the fields the JSON listing's "files" give it, in the
    // listing's order.
    virtual void VisitListedFiles(const std::function<void(const ListedFile&)>& visit) const = 0;
    // Said before the listing when the scan could not read everything it should have.
    virtual std::optional<std::string> IncompleteNote() const { return std::nullopt; }
    // What the user should know about how the scan ran (a signature file passed over, say).
    virtual std::vector<std::string> Notices() const { return {}; }

    virtual void CheckAll() = 0;
    [[nodiscard]] virtual Result<void> CheckPath(const std::string& path) = 0;
    // Ticks every found file whose engine id (the listing's "cluster", "mftRecord" or "inode") is `id`;
    // NotFound when none has it, InvalidArgument when this engine has no such id.
    [[nodiscard]] virtual Result<void> CheckId(std::string_view idKey, std::uint64_t /*id*/) {
        return Error::Make(ErrorKind::InvalidArgument,
                           "these files have no " + std::string(idKey) + " number to choose them by");
    }
    // The message that ends a recover run with nothing ticked, for the engines whose pages say one.
    virtual std::optional<std::string> NothingCheckedMessage() { return std::nullopt; }

    // The found file at `path` as the preview reads it; NotFound when there is none.
    [[nodiscard]] virtual Result<PreviewSource> FindForPreview(const std::string& path) = 0;
    virtual PreviewFamily previewFamily() const = 0;

    // Writes the ticked files into the writer's destination (which CheckDestination has accepted); an
    // error only when the run could not start.
    [[nodiscard]] virtual Result<RecoverResult> Recover(RecoveredFileWriter& writer, ProgressFields& progress,
                                                        const StopToken& stop) = 0;
};

}  // namespace lumacore
