#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumacore {

// One extent of a non-resident NTFS attribute: `length` clusters starting at cluster `lcn`, or a hole
// (sparse run) that reads as zeros.
struct ClusterRun {
    std::uint64_t vcn = 0;  // first cluster of the run within the attribute
    std::uint64_t lcn = 0;  // first cluster on the volume; meaningless for a sparse run
    std::uint64_t length = 0;
    bool sparse = false;
};

// Limits on what a run list may claim, so that a corrupt one ends cleanly.
struct RunListLimits {
    // A run list longer than this is corrupt (a badly fragmented file has tens of thousands of runs,
    // one attribute record cannot hold more than about 1000 bytes / 2 bytes per run).
    std::size_t maxRuns = 65536;
    // Runs must lie inside the volume; 0 means no volume bound is known.
    std::uint64_t clusterCount = 0;
};

struct RunListResult {
    std::vector<ClusterRun> runs;
    bool complete = false;  // the list ended with its 0x00 terminator and every run was valid
};

// Decodes the mapping-pairs array of a non-resident attribute. Stops at the terminator, at a run that
// leaves the bytes or the volume, or at the run limit; what was decoded up to there is kept.
RunListResult DecodeRunList(std::span<const std::byte> mappingPairs, std::uint64_t firstVcn,
                            const RunListLimits& limits);

// Applies the update-sequence fix-ups of a multi-sector record (FILE or INDX) in place: the last two
// bytes of every `strideSize` stride are checked against the sequence number and replaced by the saved
// value. Returns false (leaving the record untouched) when the array is inconsistent.
bool ApplyUpdateSequence(std::span<std::byte> record, std::size_t strideSize = 512);

}  // namespace lumacore
