// SQLite 3: the header's page size times its page count, when the count is current (the "valid for"
// number equals the change counter; older writers did not keep the count).
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParseSqlite(CarveInput& in) {
    if (!in.Equals(0, std::string_view("SQLite format 3\0", 16))) return FormatVerdict::Reject();
    const auto pageSizeField = in.U16be(16);
    const auto writeVersion = in.U8(18);
    const auto readVersion = in.U8(19);
    const auto changeCounter = in.U32be(24);
    const auto pages = in.U32be(28);
    const auto validFor = in.U32be(92);
    if (!pageSizeField || !writeVersion || !readVersion || !changeCounter || !pages || !validFor) {
        return FormatVerdict::Unknown();
    }
    const std::uint32_t pageSize = *pageSizeField == 1 ? 65536 : *pageSizeField;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || *writeVersion < 1 || *writeVersion > 2 ||
        *readVersion < 1 || *readVersion > 2) {
        return FormatVerdict::Reject();
    }
    if (*pages == 0 || *validFor != *changeCounter) return FormatVerdict::Unknown();
    return FormatVerdict::Length(std::uint64_t{pageSize} * *pages);
}

}  // namespace lumacore::formats
