#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/progress.h"
#include "core/result.h"
#include "engines/ext/ext_structures.h"

namespace lumacore {

// Where the blocks of a file lie: runs of consecutive blocks in file order. Logical blocks that no run
// covers are holes and read as zeros.
struct ExtRun {
    std::uint64_t logical = 0;
    std::uint64_t physical = 0;
    std::uint64_t count = 0;
};

struct ExtFileMap {
    std::vector<ExtRun> runs;
    std::uint64_t blockCount = 0;  // blocks the file's size spans
    std::uint64_t size = 0;
};

// The most runs one file may map to. A 4 GiB file of 4 KiB blocks scattered one by one needs 2^20; twice
// that leaves room for real files while a crafted map cannot take more than about 50 MiB.
inline constexpr std::size_t kExtMaxFileRuns = std::size_t{1} << 21;
// The most index and leaf blocks one extent tree may have; with 340 extents per 4 KiB leaf this is far
// beyond any real file, and it stops trees whose nodes point back at each other.
inline constexpr std::size_t kExtMaxExtentNodes = std::size_t{1} << 16;

// Reads one metadata block of the file (an indirect block or an extent tree node) by block number.
using ExtMetadataReader = std::function<Result<std::vector<std::byte>>(std::uint64_t block)>;

// Maps a file through its 12 direct, single, double and triple indirect pointers or its extent tree.
// A zero pointer is a hole. Any pointer past the volume's end, an extent tree that does not hold
// together (bad header, wrong depth, overlapping or unordered extents, a node seen twice) or a size the
// map cannot address makes the whole map an error: such an inode was misread and nothing is written
// from it. Uninitialised extents read as zeros, as they do through the file system.
Result<ExtFileMap> MapExtFile(const ExtInode& inode, const ExtSuperblock& sb,
                              const ExtMetadataReader& readBlock, const StopToken* stop = nullptr);

// The file's largest size its block map can address (for block-pointer files) or 2^32 blocks (extents).
std::uint64_t ExtMaxMappableBlocks(const ExtInode& inode, std::uint32_t blockSize);

// The plausibility of an inode as a deleted regular file: the type is a regular file, the size is not
// zero and can be mapped, the blocks counted do not exceed the volume, non-zero times lie no further in
// the future than a day, the modification and change times are set, and the data area looks like
// pointers into the volume (at least one non-zero and none past its end) or a sound extent root.
bool IsPlausibleFileInode(const ExtInode& inode, const ExtSuperblock& sb, std::int64_t now);

}  // namespace lumacore
