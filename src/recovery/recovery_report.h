#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_times.h"

namespace lumacore {

// Names of the report files written beside the recovered files (made unique like any other name, so a
// recovered file of the same name is never overwritten).
inline constexpr const char* kDfxmlReportName = "report.xml";
inline constexpr const char* kSha256ListName = "sha256sums.txt";

// Where a piece of a recovered file's data lay on the source: `length` bytes at `imageOffset` (bytes
// from the start of the disk or image read) became the file's bytes from `fileOffset` on.
struct SourceByteRun {
    std::uint64_t fileOffset = 0;
    std::uint64_t imageOffset = 0;
    std::uint64_t length = 0;
};

// One file a run wrote, as the reports list it.
struct RecoveredFileRecord {
    std::string path;  // below the destination root, '/'-separated
    std::uint64_t size = 0;
    std::optional<std::string> sha256;  // lower-case hex; absent when hashing was off
    FileTimes times;
    std::vector<SourceByteRun> byteRuns;
};

// The run in Digital Forensics XML: one fileobject per file with its name, size, times, the source's
// byte runs where known, and its sha256. `source` names the disk or image read.
std::string DfxmlReportText(const std::vector<RecoveredFileRecord>& files, const std::string& source);

// "<sha256>  <path>" lines as `sha256sum -c` reads them in the destination root (names with a
// backslash or a line break are escaped the way sha256sum escapes them). Files without a digest are
// left out.
std::string Sha256ListText(const std::vector<RecoveredFileRecord>& files);

}  // namespace lumacore
