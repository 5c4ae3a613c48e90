// Fuzz target: every format parser at a candidate header. The input is the bytes from the header on;
// its first byte also picks a size limit below the input's length, so that walks are cut short too.
// Each parser must answer without reading outside the input (the sanitizers watch), without looping,
// and with a partial length inside what it could see. A file found in two pieces must have them in
// order, on block boundaries, inside what the parser could see; the JPEG decoder is also run on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "engines/raw/carve_input.h"
#include "engines/raw/format_verdict.h"
#include "engines/raw/formats/jpeg_decoder.h"

using namespace lumacore;

namespace {

// One extension per parser family (each parser is reached through the catalogue's binding).
constexpr std::string_view kTypes[] = {
    "jpg", "png", "gif", "bmp",  "ico", "pcx",  "tif",  "psd", "wav", "aif", "mp4", "mkv", "mp3", "flac",
    "ogg", "mpg", "ts",  "wmv",  "flv", "mid",  "zip",  "pdf", "rtf", "doc", "sqlite", "gz", "bz2", "xz",
    "zst", "7z",  "rar", "cab",  "deb", "tar",  "iso",  "elf", "exe", "pst", "html", "eml"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::byte> bytes(size);
    if (size > 0) std::memcpy(bytes.data(), data, size);
    MemorySource source(std::move(bytes));
    const std::uint64_t limit = size > 0 && data[0] < 64 ? size * data[0] / 64 : size;
    for (const std::string_view type : kTypes) {
        const FormatParser parse = FindFormatParser(type);
        if (parse == nullptr) std::abort();
        CarveInput input(source, 0, limit);
        const FormatVerdict verdict = parse(input);
        if (verdict.kind == FormatVerdict::Kind::kPartial && verdict.length > limit) std::abort();
        if (verdict.twoPieces() &&
            (verdict.kind != FormatVerdict::Kind::kLength || verdict.firstEnd == 0 || verdict.firstEnd % 512 != 0 ||
             verdict.resumeAt % 512 != 0 || verdict.resumeAt >= verdict.length || verdict.length > limit)) {
            std::abort();
        }
    }
    // The search with small blocks and bounds, so that short inputs hold many candidate pairs.
    CarveInput input(source, 0, limit);
    const auto whole = formats::DecodeJpeg(input);
    if (whole.kind == formats::JpegDecodeResult::Kind::kWhole && whole.at > limit) std::abort();
    formats::JpegGapLimits small;
    small.block = 16;
    small.maxBacktrack = 256;
    small.maxGap = 4096;
    small.budget = 1 << 20;
    if (const auto pieces = formats::FindJpegSecondFragment(input, small)) {
        if (pieces->firstEnd == 0 || pieces->firstEnd % 16 != 0 || pieces->resumeAt % 16 != 0 ||
            pieces->resumeAt <= pieces->firstEnd || pieces->end <= pieces->resumeAt || pieces->end > limit) {
            std::abort();
        }
    }
    return 0;
}
