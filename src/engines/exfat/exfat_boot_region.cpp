#include "engines/exfat/exfat_boot_region.h"

#include <optional>
#include <vector>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

// Sector sizes an exFAT boot sector may declare (shift 9..12) and the largest cluster (32 MiB).
constexpr std::uint32_t kMinSectorShift = 9;
constexpr std::uint32_t kMaxSectorShift = 12;
constexpr std::uint32_t kMaxClusterShift = 25;
// Cluster numbers above this are reserved for bad-cluster and end-of-chain marks.
constexpr std::uint32_t kMaxClusterCount = 0xFFFFFFF5;

struct BootRegionRead {
    std::optional<ExfatGeometry> geometry;
    bool checksumOk = false;
};

BootRegionRead ReadOneRegion(ByteSource& disk, std::uint64_t offset, std::uint32_t assumedSectorBytes) {
    BootRegionRead out;
    std::vector<std::byte> region(std::size_t{kExfatBootRegionSectors} * assumedSectorBytes);
    if (!ReadExact(disk, offset, std::span(region).first(512))) return out;
    auto geometry = ParseExfatBootSector(std::span(region).first(512));
    if (!geometry || geometry->bytesPerSector != assumedSectorBytes) return out;
    out.geometry = *geometry;
    if (!ReadExact(disk, offset, region)) return out;
    const ByteReader checksumSector{
        std::span<const std::byte>(region).subspan(std::size_t{11} * assumedSectorBytes)};
    const std::uint32_t expected =
        ExfatBootChecksum(std::span(region).first(std::size_t{11} * assumedSectorBytes));
    out.checksumOk = true;
    for (std::size_t at = 0; at + 4 <= assumedSectorBytes; at += 4) {
        if (checksumSector.u32le(at) != expected) out.checksumOk = false;
    }
    return out;
}

}  // namespace

bool IsExfatBootSector(std::span<const std::byte> sector) {
    return ByteReader(sector).matches(3, "EXFAT   ");
}

Result<ExfatGeometry> ParseExfatBootSector(std::span<const std::byte> sector) {
    const ByteReader r(sector);
    if (!IsExfatBootSector(sector)) return Error::Corrupt("not an exFAT boot sector");
    if (r.u16le(510) != 0xAA55) return Error::Corrupt("exFAT boot sector without its 0xAA55 signature");
    const std::uint32_t sectorShift = r.u8(108);
    const std::uint32_t clusterShift = r.u8(109);
    if (sectorShift < kMinSectorShift || sectorShift > kMaxSectorShift ||
        sectorShift + clusterShift > kMaxClusterShift) {
        return Error::Corrupt("exFAT sector or cluster size out of range");
    }
    ExfatGeometry g;
    g.bytesPerSector = 1u << sectorShift;
    g.sectorsPerCluster = 1u << clusterShift;
    g.volumeLength = r.u64le(72);
    g.fatOffset = r.u32le(80);
    g.fatLength = r.u32le(84);
    g.clusterHeapOffset = r.u32le(88);
    g.clusterCount = r.u32le(92);
    g.rootCluster = r.u32le(96);
    g.serialNumber = r.u32le(100);
    g.activeFat = r.u16le(106) & 1;
    g.fatCount = r.u8(110);
    if (g.fatCount != 1 && g.fatCount != 2)
        return Error::Corrupt("exFAT volume with neither one nor two FATs");
    if (g.fatCount == 1) g.activeFat = 0;
    if (g.clusterCount == 0 || g.clusterCount > kMaxClusterCount)
        return Error::Corrupt("exFAT cluster count out of range");
    if (g.fatOffset < 24 || g.fatLength == 0 ||
        std::uint64_t{g.fatLength} * g.bytesPerSector < (std::uint64_t{g.clusterCount} + 2) * 4) {
        return Error::Corrupt("exFAT FAT too small for its clusters");
    }
    if (std::uint64_t{g.fatOffset} + std::uint64_t{g.fatLength} * g.fatCount > g.clusterHeapOffset) {
        return Error::Corrupt("exFAT FATs overlap the cluster heap");
    }
    if (!g.IsDataCluster(g.rootCluster))
        return Error::Corrupt("exFAT root directory outside the cluster heap");
    return g;
}

std::uint32_t ExfatBootChecksum(std::span<const std::byte> elevenSectors) {
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < elevenSectors.size(); ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        checksum = ((checksum & 1) ? 0x80000000u : 0u) + (checksum >> 1) +
                   std::to_integer<std::uint8_t>(elevenSectors[i]);
    }
    return checksum;
}

Result<ExfatGeometry> ReadExfatBootRegion(ByteSource& disk, std::uint64_t volumeOffset) {
    std::optional<ExfatGeometry> fallback;
    // The backup lies 12 sectors in, so its place depends on the sector size that the damaged main
    // region no longer tells: try each one.
    for (std::uint32_t shift = kMinSectorShift; shift <= kMaxSectorShift; ++shift) {
        const std::uint32_t sectorBytes = 1u << shift;
        const std::uint64_t offsets[2] = {
            volumeOffset, volumeOffset + std::uint64_t{kExfatBootRegionSectors} * sectorBytes};
        for (int copy = 0; copy < 2; ++copy) {
            if (copy == 0 && shift != kMinSectorShift)
                continue;  // the main region's sector size is in itself
            BootRegionRead read = ReadOneRegion(disk, offsets[copy], sectorBytes);
            if (copy == 0 && !read.geometry) {
                // The main boot sector may declare a larger sector size than 512.
                std::vector<std::byte> first(512);
                if (ReadExact(disk, volumeOffset, first)) {
                    if (auto g = ParseExfatBootSector(first))
                        read = ReadOneRegion(disk, volumeOffset, g->bytesPerSector);
                }
            }
            if (!read.geometry) continue;
            read.geometry->fromBackup = copy == 1;
            read.geometry->checksumOk = read.checksumOk;
            if (read.checksumOk) return *read.geometry;
            if (!fallback) fallback = read.geometry;
        }
    }
    if (fallback) return *fallback;
    return Error::Corrupt("no exFAT boot region, main or backup, can be read", volumeOffset);
}

}  // namespace lumacore
