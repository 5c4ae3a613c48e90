#include "engines/exfat/exfat_layout.h"

#include <algorithm>

#include "core/byte_reader.h"
#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFF;
// The FAT is read in blocks of this size.
constexpr std::size_t kFatReadChunk = 1 << 20;
// The up-case table is at most 65,536 two-byte values, plus run markers; allow twice that.
constexpr std::uint64_t kMaxUpcaseBytes = 256 * 1024;

}  // namespace

void AppendCluster(std::vector<ExfatClusterRun>& runs, std::uint32_t cluster) {
    if (!runs.empty() && std::uint64_t{runs.back().first} + runs.back().count == cluster) {
        ++runs.back().count;
    } else {
        runs.push_back(ExfatClusterRun{cluster, 1});
    }
}

Result<ExfatLayout> ExfatLayout::Load(ByteSource& disk, std::uint64_t volumeOffset) {
    auto geometry = ReadExfatBootRegion(disk, volumeOffset);
    if (!geometry) return geometry.error();
    if (geometry->clusterCount > kMaxClusters) {
        return Error::Make(ErrorKind::Unsupported,
                           "exFAT volume with more clusters than the engine holds in memory");
    }
    ExfatLayout layout;
    layout.geometry_ = *geometry;
    layout.volumeOffset_ = volumeOffset;
    if (auto fat = layout.LoadFat(disk); !fat) return fat.error();
    layout.LoadRootTables(disk);
    return layout;
}

Result<void> ExfatLayout::LoadFat(ByteSource& disk) {
    const std::size_t entries = std::size_t{geometry_.clusterCount} + 2;
    fat_.assign(entries, 0);
    std::vector<std::byte> chunk;
    const std::uint64_t fatStart = volumeOffset_ + geometry_.ActiveFatOffset();
    for (std::size_t done = 0; done < entries;) {
        const std::size_t n = std::min(entries - done, kFatReadChunk / 4);
        chunk.resize(n * 4);
        if (auto read = ReadExact(disk, fatStart + std::uint64_t{done} * 4, chunk); !read)
            return read.error();
        const ByteReader r(chunk);
        for (std::size_t k = 0; k < n; ++k) fat_[done + k] = r.u32le(k * 4);
        done += n;
    }
    return {};
}

std::uint32_t ExfatLayout::FatEntry(std::uint32_t cluster) const {
    return cluster < fat_.size() ? fat_[cluster] : kEndOfChain;
}

bool ExfatLayout::InUse(std::uint32_t cluster) const {
    if (!geometry_.IsDataCluster(cluster)) return false;
    const std::uint32_t bit = cluster - 2;
    return bit / 8 < bitmap_.size() && (bitmap_[bit / 8] >> (bit % 8)) & 1;
}

void ExfatLayout::MarkInUse(std::uint32_t cluster) {
    if (!geometry_.IsDataCluster(cluster)) return;
    const std::uint32_t bit = cluster - 2;
    if (bit / 8 < bitmap_.size())
        bitmap_[bit / 8] = static_cast<std::uint8_t>(bitmap_[bit / 8] | (1u << (bit % 8)));
}

std::uint64_t ExfatLayout::ClustersFor(std::uint64_t bytes) const {
    const std::uint64_t clusters =
        bytes / geometry_.ClusterBytes() + (bytes % geometry_.ClusterBytes() ? 1 : 0);
    return std::min<std::uint64_t>(clusters, geometry_.clusterCount);
}

std::vector<ExfatClusterRun> ExfatLayout::LiveRuns(std::uint32_t first, std::uint64_t bytes,
                                                   bool noFatChain) const {
    std::vector<ExfatClusterRun> runs;
    const std::uint64_t needed = ClustersFor(bytes);
    if (needed == 0 || !geometry_.IsDataCluster(first)) return runs;
    if (noFatChain) {
        const std::uint64_t available = std::uint64_t{geometry_.clusterCount} + 2 - first;
        runs.push_back(ExfatClusterRun{first, static_cast<std::uint32_t>(std::min(needed, available))});
        return runs;
    }
    // At most `needed` steps (never more than the heap has clusters), and a chain that comes back to a
    // cluster it passed ends there: Brent's check keeps one cluster to compare with, moved at every
    // power of two, so a loop is seen within twice its length and no set of visited clusters is needed.
    std::uint32_t cluster = first;
    std::uint32_t checkpoint = first;
    std::uint64_t sinceCheckpoint = 0;
    std::uint64_t nextMove = 1;
    for (std::uint64_t taken = 0; taken < needed; ++taken) {
        AppendCluster(runs, cluster);
        const std::uint32_t next = FatEntry(cluster);
        if (taken + 1 < needed && (!geometry_.IsDataCluster(next) || next == checkpoint)) break;
        if (++sinceCheckpoint == nextMove) {
            checkpoint = next;
            sinceCheckpoint = 0;
            nextMove *= 2;
        }
        cluster = next;
    }
    return runs;
}

std::vector<ExfatClusterRun> ExfatLayout::DeletedRuns(std::uint32_t first, std::uint64_t bytes,
                                                      bool noFatChain) const {
    const std::uint64_t needed = ClustersFor(bytes);
    if (noFatChain || needed <= 1 || !geometry_.IsDataCluster(first)) return LiveRuns(first, bytes, true);

    if (std::vector<ExfatClusterRun> chain = IntactDeletedChain(first, bytes); !chain.empty()) return chain;

    std::vector<ExfatClusterRun> runs{ExfatClusterRun{first, 1}};
    std::uint64_t taken = 1;
    for (std::uint64_t cluster = std::uint64_t{first} + 1; taken < needed && geometry_.IsDataCluster(cluster);
         ++cluster) {
        if (InUse(static_cast<std::uint32_t>(cluster))) continue;
        AppendCluster(runs, static_cast<std::uint32_t>(cluster));
        ++taken;
    }
    return runs;
}

std::vector<ExfatClusterRun> ExfatLayout::IntactDeletedChain(std::uint32_t first, std::uint64_t bytes) const {
    std::vector<ExfatClusterRun> chain = LiveRuns(first, bytes, false);
    std::uint64_t chained = 0;
    for (const ExfatClusterRun& run : chain) {
        chained += run.count;
        for (std::uint32_t k = 0; k < run.count; ++k) {
            if (run.first + k != first && InUse(run.first + k)) return {};
        }
    }
    if (chain.empty() || chained != ClustersFor(bytes) ||
        FatEntry(chain.back().first + chain.back().count - 1) != kEndOfChain) {
        return {};
    }
    return chain;
}

Result<std::vector<std::byte>> ExfatLayout::ReadRuns(ByteSource& disk,
                                                     const std::vector<ExfatClusterRun>& runs,
                                                     std::uint64_t maxBytes) const {
    std::uint64_t total = 0;
    for (const ExfatClusterRun& run : runs) total += std::uint64_t{run.count} * geometry_.ClusterBytes();
    total = std::min(total, maxBytes);
    std::vector<std::byte> out(static_cast<std::size_t>(total));
    std::uint64_t at = 0;
    for (const ExfatClusterRun& run : runs) {
        if (at >= total) break;
        const std::uint64_t n =
            std::min<std::uint64_t>(std::uint64_t{run.count} * geometry_.ClusterBytes(), total - at);
        const auto target = std::span(out).subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
        if (auto read = ReadExact(disk, volumeOffset_ + geometry_.ClusterOffset(run.first), target); !read) {
            return read.error();
        }
        at += n;
    }
    return out;
}

void ExfatLayout::LoadRootTables(ByteSource& disk) {
    const std::vector<ExfatClusterRun> rootRuns = LiveRuns(geometry_.rootCluster, kMaxDirectoryBytes, false);
    auto root = ReadRuns(disk, rootRuns, kMaxDirectoryBytes);
    if (!root) return;
    const std::size_t count = root->size() / kExfatEntrySize;
    for (std::size_t i = 0; i < count; ++i) {
        const ByteReader e{std::span<const std::byte>(*root).subspan(i * kExfatEntrySize, kExfatEntrySize)};
        const std::uint8_t type = e.u8(0);
        if (type == exfat_type::kEndOfDirectory) break;
        const std::uint32_t first = e.u32le(20);
        const std::uint64_t length = e.u64le(24);
        if (type == exfat_type::kBitmap && (e.u8(1) & 1) == geometry_.activeFat && bitmap_.empty()) {
            const std::uint64_t wanted = (std::uint64_t{geometry_.clusterCount} + 7) / 8;
            if (length < wanted) continue;
            // Allocation metadata may or may not have a FAT chain; take the chain only when it is whole.
            std::vector<ExfatClusterRun> runs = LiveRuns(first, wanted, false);
            std::uint64_t chained = 0;
            for (const ExfatClusterRun& run : runs) chained += run.count;
            if (chained < ClustersFor(wanted)) runs = LiveRuns(first, wanted, true);
            if (auto bytes = ReadRuns(disk, runs, wanted); bytes && bytes->size() == wanted) {
                bitmap_.assign(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                               reinterpret_cast<const std::uint8_t*>(bytes->data()) + bytes->size());
            }
        } else if (type == exfat_type::kUpcase && !upcase_.loaded() && length > 0 &&
                   length <= kMaxUpcaseBytes) {
            std::vector<ExfatClusterRun> runs = LiveRuns(first, length, false);
            std::uint64_t chained = 0;
            for (const ExfatClusterRun& run : runs) chained += run.count;
            if (chained < ClustersFor(length)) runs = LiveRuns(first, length, true);
            auto bytes = ReadRuns(disk, runs, length);
            // A table whose checksum fails would compare names wrongly: keep the ASCII mapping then.
            if (bytes && bytes->size() == length && ExfatTableChecksum(*bytes) == e.u32le(4)) {
                upcase_ = ExfatUpcaseTable::Decode(*bytes);
            }
        }
    }
}

}  // namespace lumacore
