#pragma once

#include <cstdint>
#include <optional>

#include "engines/raw/carve_input.h"

namespace lumacore::formats {

// What decoding a JPEG's entropy-coded data from its header on tells.
struct JpegDecodeResult {
    enum class Kind {
        kWhole,        // every scan decoded, restart markers in order, and the end-of-image marker met
        kBroken,       // the data stops being valid at `at`
        kUnsupported,  // not a Huffman-coded baseline, extended or progressive frame this decoder reads
        kOutOfReach,   // the input ended before the picture did
    };
    Kind kind = Kind::kUnsupported;
    std::uint64_t at = 0;  // kWhole: the byte after the end-of-image marker; kBroken: where it broke
    // kBroken: whether the decoder had got into a scan's data, past tables it could read; a break
    // before that may be a header this decoder does not take rather than damage.
    bool inData = false;
};

// Decodes the whole picture: every Huffman symbol of every scan (DC and AC, first and refining passes
// of progressive scans), the restart markers and the one-bit padding before each marker, up to the
// end-of-image marker. Nothing is kept of the picture but which coefficients are non-zero.
JpegDecodeResult DecodeJpeg(CarveInput& in);

// A JPEG written in two pieces, relative to its header: [0, firstEnd) then [resumeAt, end).
struct JpegFragments {
    std::uint64_t firstEnd = 0;
    std::uint64_t resumeAt = 0;
    std::uint64_t end = 0;
};

// Bounds of the search for a second fragment.
struct JpegGapLimits {
    // Fragments start and end on these boundaries (the carving block, which every cluster size is a
    // multiple of).
    std::uint64_t block = 512;
    // How far before the point where decoding broke the first fragment may end: garbage can decode
    // for a while before it breaks a rule.
    std::uint64_t maxBacktrack = std::uint64_t{8} << 10;
    // The largest gap between the fragments tried.
    std::uint64_t maxGap = std::uint64_t{4} << 20;
    // Bytes decoded over all trials of one file, so that a gap full of another picture's data cannot
    // make one file cost minutes.
    std::uint64_t budget = std::uint64_t{128} << 20;
};

// For a JPEG whose data stops being valid: the one way of skipping a gap of whole blocks after which
// the rest decodes validly to the end-of-image marker. Nothing when there is none, when more than one
// gap would do (the choice is not sure), or when the search ran out of its bounds. Gaps that differ
// only in how much of one run of bytes before the same end they skip count as one: the smallest.
std::optional<JpegFragments> FindJpegSecondFragment(CarveInput& in, const JpegGapLimits& limits = {});

}  // namespace lumacore::formats
