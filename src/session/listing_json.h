#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_times.h"
#include "core/json_writer.h"

namespace lumacore {

// The listing every engine writes for `scan --json`, described by res/schema/scan.schema.json:
// {"schema": 1, "engine": ..., "root": the engine's older tree, "files": [...], "foundFiles",
// "foundBytes", ...}. The older tree stays beside "files" for one release so that scripts can move
// over; it comes first so that a script that searched the output for its first match still finds it.
constexpr std::int64_t kListingSchemaVersion = 1;

// The fields every found file has, whatever its engine.
struct ListedFile {
    std::string name;
    std::string path;  // the tree path that recover --only and preview --file take
    std::uint64_t size = 0;
    bool deleted = false;
    // ISO 8601 (core/iso_time.h); empty when the format keeps no such time (null).
    std::string modified;
    std::string created;
    std::string accessed;
    std::string_view idKey;  // cluster, mftRecord, inode or sector
    std::uint64_t id = 0;
    // The same moments as Unix time (for timelines), and the inode's last change where the format keeps
    // one apart from the modification (EXT).
    FileTimes times;
    std::optional<FileTime> changed;
    // The type and permission bits where the format keeps them (EXT); 0: none, a plain file.
    std::uint16_t unixMode = 0;
};

// Opens the document with "schema" and "engine".
void BeginListing(JsonWriter& json, std::string_view engine);
// Opens the "files" array.
void BeginListedFiles(JsonWriter& json);
// Opens one file's object with the shared fields; the engine's extras follow, then EndObject().
void BeginListedFile(JsonWriter& json, std::string_view engine, const ListedFile& file);
// Closes the "files" array; the totals follow, then EndObject().
void EndListedFiles(JsonWriter& json);

// "a/b" joined the way tree paths are: no leading slash when the folder is the top.
std::string JoinTreePath(const std::string& folder, std::string_view name);

}  // namespace lumacore
