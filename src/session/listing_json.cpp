#include "session/listing_json.h"

namespace lumacore {

namespace {

void TimeField(JsonWriter& json, std::string_view key, const std::string& iso) {
    if (iso.empty()) {
        json.Null(key);
    } else {
        json.String(key, iso);
    }
}

}  // namespace

void BeginListing(JsonWriter& json, std::string_view engine) {
    json.BeginObject();
    json.Number("schema", kListingSchemaVersion);
    json.String("engine", engine);
}

void BeginListedFiles(JsonWriter& json) {
    json.BeginArray("files");
}

void BeginListedFile(JsonWriter& json, std::string_view engine, const ListedFile& file) {
    json.BeginObject();
    json.String("name", file.name);
    json.String("path", file.path);
    json.Unsigned("size", file.size);
    json.Bool("deleted", file.deleted);
    TimeField(json, "modified", file.modified);
    TimeField(json, "created", file.created);
    TimeField(json, "accessed", file.accessed);
    json.String("engine", engine);
    json.Unsigned(file.idKey, file.id);
}

void EndListedFiles(JsonWriter& json) {
    json.EndArray();
}

std::string JoinTreePath(const std::string& folder, std::string_view name) {
    return folder.empty() ? std::string(name) : folder + "/" + std::string(name);
}

}  // namespace lumacore
