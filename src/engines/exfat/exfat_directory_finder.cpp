#include "engines/exfat/exfat_directory_finder.h"

#include <algorithm>

#include "engines/exfat/exfat_entry_set.h"

namespace lumacore {

namespace {

// Stretches of clusters are read this many bytes at a time.
constexpr std::size_t kScanChunkBytes = 1 << 20;
// Clusters up to this size are read whole; of larger ones the first sector is looked at first.
constexpr std::uint32_t kReadWholeUpTo = 4096;

}  // namespace

std::vector<std::uint32_t> FindExfatDirectoryClusters(const ExfatLayout& layout, ByteSource& disk,
                                                      std::uint64_t first, std::uint64_t last,
                                                      const std::function<bool(std::uint32_t)>& consider,
                                                      ProgressFields& progress, const StopToken& stop,
                                                      const std::function<void(std::size_t)>& onFound) {
    const ExfatGeometry& g = layout.geometry();
    const std::uint32_t clusterBytes = g.ClusterBytes();
    const bool sampled = clusterBytes > kReadWholeUpTo;
    const std::uint32_t perChunk =
        sampled ? 1 : std::max<std::uint32_t>(1, static_cast<std::uint32_t>(kScanChunkBytes / clusterBytes));
    std::vector<std::uint32_t> found;
    std::vector<std::byte> chunk;
    std::vector<std::byte> sector(g.bytesPerSector);
    const auto take = [&](std::uint64_t cluster) {
        found.push_back(static_cast<std::uint32_t>(cluster));
        if (onFound) onFound(found.size());
    };
    for (std::uint64_t cluster = first; cluster <= last && !stop.StopRequested();) {
        if (!consider(static_cast<std::uint32_t>(cluster))) {
            ++cluster;
            continue;
        }
        const std::uint64_t at = layout.volumeOffset() + g.ClusterOffset(static_cast<std::uint32_t>(cluster));
        if (sampled) {
            if (ReadExact(disk, at, sector) && MayBeginExfatDirectory(sector)) {
                chunk.resize(clusterBytes);
                if (ReadExact(disk, at, chunk) && LooksLikeExfatDirectory(chunk)) take(cluster);
            }
            ++cluster;
        } else {
            std::uint32_t count = 1;
            while (count < perChunk && cluster + count <= last &&
                   consider(static_cast<std::uint32_t>(cluster + count))) {
                ++count;
            }
            chunk.resize(std::size_t{count} * clusterBytes);
            if (ReadExact(disk, at, chunk)) {
                for (std::uint32_t k = 0; k < count; ++k) {
                    const auto bytes = std::span<const std::byte>(chunk).subspan(
                        std::size_t{k} * clusterBytes, clusterBytes);
                    if (LooksLikeExfatDirectory(bytes)) take(cluster + k);
                }
            }
            cluster += count;
        }
        progress.SetDone(static_cast<std::int64_t>(cluster - first));
    }
    return found;
}

}  // namespace lumacore
