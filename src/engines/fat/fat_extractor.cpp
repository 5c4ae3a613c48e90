#include "engines/fat/fat_extractor.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/data_sink.h"
#include "engines/fat/fat_volume.h"

namespace lumacore {

namespace {

// Files are moved in blocks of this size: large sequential reads, bounded memory.
constexpr std::size_t kCopyBlock = 1 << 20;

}  // namespace

Result<FatExtractor> FatExtractor::Open(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition) {
    if (!disk) return Error::Make(ErrorKind::NotFound, kCannotOpenDevice);
    // The boot sector is addressed in 512-byte sectors like every sector number of the inventory.
    const std::uint64_t volumeOffset = std::uint64_t{partition.startSector} * 512;
    std::array<std::byte, 512> boot{};
    if (auto read = ReadExact(*disk, volumeOffset, boot); !read) {
        Error e = read.error();
        e.message = kCannotReadDevice;
        return e;
    }
    auto geometry = ParseFatBootSector(boot, IsFat32Record(partition), false);
    if (!geometry) return geometry.error();
    return FatExtractor(std::move(disk), volumeOffset, *geometry);
}

Result<std::uint64_t> FatExtractor::DataOffset(const FatFileNode& node) const {
    if (!geometry_.IsDataCluster(node.firstCluster)) {
        return Error::Corrupt("first cluster " + std::to_string(node.firstCluster) +
                              " is outside the volume");
    }
    return volumeOffset_ + geometry_.ClusterFirstSector(node.firstCluster) * geometry_.bytesPerSector;
}

Result<FatExtractor::Piece> FatExtractor::PieceAt(const FatFileNode& node, std::uint64_t offset) const {
    auto start = DataOffset(node);
    if (!start) return start.error();
    if (node.runs.empty()) return Piece{*start + offset, node.size - offset};
    const std::uint64_t clusterBytes = geometry_.ClusterBytes();
    std::uint64_t runStart = 0;  // file offset of the current run
    for (const FatClusterRun& run : node.runs) {
        const std::uint64_t runBytes = std::uint64_t{run.count} * clusterBytes;
        if (offset < runStart + runBytes && geometry_.IsDataCluster(run.first) &&
            geometry_.IsDataCluster(std::uint64_t{run.first} + run.count - 1)) {
            const std::uint64_t within = offset - runStart;
            return Piece{
                volumeOffset_ + geometry_.ClusterFirstSector(run.first) * geometry_.bytesPerSector + within,
                std::min<std::uint64_t>(runBytes - within, node.size - offset)};
        }
        runStart += runBytes;
        if (offset < runStart) break;  // a run outside the volume: nothing of it is read
    }
    return Piece{0, 0};
}

std::vector<FatExtractor::Piece> FatExtractor::DiskPieces(const FatFileNode& node) const {
    std::vector<Piece> pieces;
    // As far as Copy reads.
    const std::uint64_t end = std::min<std::uint64_t>(node.size, BytesToVolumeEnd(node));
    // Each piece covers at least one run, so the walk ends within runs + 1 steps.
    for (std::uint64_t offset = 0; offset < end && pieces.size() <= node.runs.size();) {
        auto piece = PieceAt(node, offset);
        if (!piece || piece->length == 0) break;
        piece->length = std::min(piece->length, end - offset);
        pieces.push_back(*piece);
        offset += piece->length;
    }
    return pieces;
}

bool FatExtractor::ReadPiece(std::uint64_t diskOffset, std::span<std::byte> target) {
    auto got = disk_->ReadAt(diskOffset, target);
    if (got && *got == target.size()) return true;

    // Something in the range failed: take it sector by sector so that every readable sector arrives.
    const std::uint32_t bps = geometry_.bytesPerSector;
    bool ok = true;
    for (std::size_t done = 0; done < target.size();) {
        const std::uint64_t at = diskOffset + done;
        const std::size_t n =
            std::min<std::size_t>(target.size() - done, bps - static_cast<std::size_t>(at % bps));
        const std::span<std::byte> piece = target.subspan(done, n);
        if (!ReadExact(*disk_, at, piece)) {
            std::fill(piece.begin(), piece.end(), std::byte{0});
            ok = false;
        }
        done += n;
    }
    return ok;
}

std::uint64_t FatExtractor::BytesToVolumeEnd(const FatFileNode& node) const {
    if (!geometry_.IsDataCluster(node.firstCluster)) return 0;
    return (std::uint64_t{geometry_.clusterCount} + 2 - node.firstCluster) * geometry_.ClusterBytes();
}

Result<std::size_t> FatExtractor::Read(const FatFileNode& node, std::uint64_t offset,
                                       std::span<std::byte> out) {
    // An empty file has no cluster at all (its first cluster is 0): there is nothing to read.
    const std::uint64_t end = std::min<std::uint64_t>(node.size, BytesToVolumeEnd(node));
    if (offset >= end) return std::size_t{0};
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - offset));
    const std::span<std::byte> target = out.first(wanted);
    bool unreadable = false;
    bool pastRuns = false;
    for (std::size_t done = 0; done < wanted;) {
        auto piece = PieceAt(node, offset + done);
        if (!piece) return piece.error();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(wanted - done, piece->length));
        if (n == 0) {
            std::fill(target.begin() + static_cast<std::ptrdiff_t>(done), target.end(), std::byte{0});
            pastRuns = true;
            break;
        }
        if (!ReadPiece(piece->diskOffset, target.subspan(done, n))) unreadable = true;
        done += n;
    }
    if (unreadable) {
        return Error::Io("unreadable sectors in " + node.displayName + "; they were written as zeros", 0,
                         *DataOffset(node));
    }
    if (pastRuns) {
        return Error::Corrupt("the free clusters of " + node.displayName +
                              " end before its size; the rest was written as zeros");
    }
    return wanted;
}

Result<void> FatExtractor::Copy(const FatFileNode& node,
                                const std::function<Result<void>(std::span<const std::byte>)>& sink) {
    if (node.size == 0) return {};
    if (auto start = DataOffset(node); !start) return start.error();
    // A directory entry's size is not checked against anything on disk: a deleted entry claiming 4 GiB
    // on a small volume would otherwise come back as gigabytes of zeros.
    const std::uint64_t end = std::min<std::uint64_t>(node.size, BytesToVolumeEnd(node));
    std::vector<std::byte> block(std::min<std::uint64_t>(kCopyBlock, std::max<std::uint64_t>(end, 1)));
    Result<void> outcome;
    if (end < node.size) outcome = Error::Corrupt(kSizeBeyondVolume);
    for (std::uint64_t offset = 0; offset < end;) {
        auto got = Read(node, offset, block);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), end - offset));
        if (!got && outcome) outcome = got.error();  // the zeros stand in; keep going and report at the end
        if (auto written = sink(std::span<const std::byte>(block).first(n)); !written) return written.error();
        offset += n;
    }
    return outcome;
}

}  // namespace lumacore
