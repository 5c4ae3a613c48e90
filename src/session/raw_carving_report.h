#pragma once

#include <string>
#include <vector>

#include "engines/raw/raw_file_node.h"

namespace lumacore {

// The carving report, written beside the carved files: one line per file written, so that a user can
// see which files ended where their format says and which were cut by a rule, and check the copies.
inline constexpr const char* kCarvingReportName = "carving-report.tsv";

struct CarvingReportLine {
    std::string name;
    std::string type;  // the description the file is listed under
    std::uint64_t firstSector = 0;
    std::uint64_t length = 0;
    RawFileEnd ended = RawFileEnd::kNextHeader;
    std::string sha256;
    std::vector<RawExtent> fragments{};  // empty for a file in one piece
};

// A header line, then one tab-separated line per file: name, type, first sector (relative to the
// scanned source), length in bytes, how it ended, sha256 of the bytes written. When any file was in
// more than one piece a seventh column "fragments" lists each file's pieces as "sector+length"
// separated by spaces (empty for files in one piece).
std::string CarvingReportText(const std::vector<CarvingReportLine>& lines);

}  // namespace lumacore
