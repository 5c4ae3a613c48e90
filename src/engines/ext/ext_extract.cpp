// Reading found files: through the block map or extent tree of the record's inode copy, over the live
// volume. Data blocks are read as they are now; holes come out as zeros.
#include <algorithm>

#include "engines/ext/ext_volume.h"

namespace lumacore {

namespace {

// Files are moved in pieces of this size: large sequential reads, bounded memory.
constexpr std::uint64_t kCopyBytes = 1 << 20;

}  // namespace

Result<ExtFileMap> CExtVolume::MapFile(const ExtFileNode& node, const StopToken* stop) {
    if (!open_) return Error::Make(ErrorKind::InvalidArgument, "the volume is not open");
    return MapExtFile(
        node.inode, sb_, [&](std::uint64_t b) { return ReadFileMetadata(node, b); }, stop);
}

Result<void> CExtVolume::Extract(const ExtFileMap& map, const ExtDataSink& sink, const StopToken& stop,
                                 const HoleSink& holes) {
    if (!open_) return Error::Make(ErrorKind::InvalidArgument, "the volume is not open");
    const std::uint64_t blockSize = sb_.blockSize;
    const std::uint64_t chunkBlocks = std::max<std::uint64_t>(1, kCopyBytes / blockSize);
    std::vector<std::byte> buffer(static_cast<std::size_t>(
        std::min(chunkBlocks, std::max<std::uint64_t>(map.blockCount, 1)) * blockSize));
    std::uint64_t written = 0;  // bytes handed on
    std::uint64_t logical = 0;  // next block of the file

    // Hands on `blocks` blocks: zeros for a hole (physical == 0 and hole), else read from the volume.
    auto emit = [&](std::uint64_t physical, std::uint64_t blocks, bool hole) -> Result<void> {
        if (hole && holes && written < map.size) {
            const std::uint64_t bytes =
                blocks > (map.size - written) / blockSize ? map.size - written : blocks * blockSize;
            if (auto skipped = holes(bytes); !skipped) return skipped;
            written += bytes;
            return {};
        }
        while (blocks > 0 && written < map.size) {
            if (stop.StopRequested()) return Error::Make(ErrorKind::Cancelled, "stopped");
            const std::uint64_t n = std::min(blocks, chunkBlocks);
            const std::span<std::byte> piece =
                std::span<std::byte>(buffer).first(static_cast<std::size_t>(n * blockSize));
            if (hole) {
                std::fill(piece.begin(), piece.end(), std::byte{0});
            } else if (auto read = ReadBlocks(physical, piece); !read) {
                return read.error();
            }
            const std::uint64_t bytes = std::min<std::uint64_t>(piece.size(), map.size - written);
            if (auto sent = sink(piece.first(static_cast<std::size_t>(bytes))); !sent) return sent;
            written += bytes;
            physical += n;
            blocks -= n;
        }
        return {};
    };

    for (const ExtRun& run : map.runs) {
        if (run.logical > logical) {
            if (auto hole = emit(0, run.logical - logical, true); !hole) return hole;
        }
        if (auto data = emit(run.physical, run.count, false); !data) return data;
        logical = run.logical + run.count;
    }
    if (logical < map.blockCount) {
        if (auto hole = emit(0, map.blockCount - logical, true); !hole) return hole;
    }
    return {};
}

Result<std::size_t> CExtVolume::ReadInto(const ExtFileNode& node, std::span<std::byte> out) {
    auto map = MapFile(node);
    if (!map) return map.error();
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), node.inode.size));
    // Only the blocks the buffer takes are mapped through.
    ExtFileMap head = std::move(*map);
    head.size = wanted;
    std::size_t copied = 0;
    StopToken never;
    const Result<void> read = Extract(
        head,
        [&](std::span<const std::byte> data) -> Result<void> {
            std::copy(data.begin(), data.end(), out.begin() + static_cast<std::ptrdiff_t>(copied));
            copied += data.size();
            return {};
        },
        never);
    if (!read) return read.error();
    return copied;
}

}  // namespace lumacore
