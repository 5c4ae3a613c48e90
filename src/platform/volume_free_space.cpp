#include "platform/volume_free_space.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "core/byte_reader.h"
#include "core/ntfs_runs.h"
#include "layout/fat_boot_sector.h"
#include "layout/ntfs_boot_sector.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {

namespace {

// Allocation tables are read in chunks of this size: large sequential reads, bounded memory.
constexpr std::size_t kChunkBytes = 1 << 20;

}  // namespace

std::optional<FreeSpace> FatFreeSpace(ByteSource& source, std::uint64_t volumeOffset) {
    std::array<std::byte, 512> boot{};
    if (!ReadExact(source, volumeOffset, boot)) return std::nullopt;
    const auto decoded = DecodeFatBootSector(boot);
    if (!decoded) return std::nullopt;
    const FatBootSector& bpb = *decoded;
    const std::uint32_t bps = bpb.bytesPerSector;
    const std::uint32_t spc = bpb.sectorsPerCluster;
    const std::uint32_t reserved = bpb.reservedSectors;
    const std::uint32_t totalSectors = bpb.TotalSectors();
    const std::uint32_t fatSectors = bpb.SectorsPerFat();
    // Counting free clusters walks the first FAT: it has to be there.
    if (reserved == 0 || bpb.fatCount == 0 || fatSectors == 0) return std::nullopt;
    const std::uint64_t metaSectors = reserved + std::uint64_t{bpb.fatCount} * fatSectors + bpb.RootDirSectors();
    if (metaSectors >= totalSectors) return std::nullopt;
    const std::uint64_t clusters = (totalSectors - metaSectors) / spc;
    const int entryBits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
    // The FAT must hold an entry for every cluster (clusters 0 and 1 are reserved).
    const std::uint64_t fatBytes = std::uint64_t{fatSectors} * bps;
    if ((clusters + 2) * static_cast<std::uint64_t>(entryBits) / 8 > fatBytes) return std::nullopt;

    std::uint64_t freeClusters = 0;
    std::vector<std::byte> chunk;
    const std::uint64_t fatOffset = volumeOffset + std::uint64_t{reserved} * bps;
    const std::uint64_t neededBytes = ((clusters + 2) * static_cast<std::uint64_t>(entryBits) + 7) / 8;
    // FAT12 entries straddle bytes; keep the chunk size a multiple of 3 so none straddles two chunks.
    const std::size_t chunkBytes = kChunkBytes - kChunkBytes % 3;
    for (std::uint64_t at = 0; at < neededBytes; at += chunkBytes) {
        chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, neededBytes - at)));
        if (!ReadExact(source, fatOffset + at, chunk)) return std::nullopt;
        ByteReader c(chunk);
        const std::uint64_t firstEntry = at * 8 / static_cast<std::uint64_t>(entryBits);
        const std::uint64_t lastEntry = std::min<std::uint64_t>((at + chunk.size()) * 8 / entryBits, clusters + 2);
        for (std::uint64_t e = std::max<std::uint64_t>(firstEntry, 2); e < lastEntry; ++e) {
            const std::size_t byteAt = static_cast<std::size_t>(e * entryBits / 8 - at);
            std::uint32_t value = 0;
            if (entryBits == 12) {
                const std::uint16_t pair = c.u16le(byteAt);
                value = (e & 1) ? (pair >> 4) : (pair & 0x0FFF);
            } else if (entryBits == 16) {
                value = c.u16le(byteAt);
            } else {
                value = c.u32le(byteAt) & 0x0FFFFFFF;
            }
            if (value == 0) ++freeClusters;
        }
    }
    return FreeSpace{spc, bps, freeClusters, clusters};
}

std::optional<FreeSpace> NtfsFreeSpace(ByteSource& source, std::uint64_t volumeOffset) {
    std::array<std::byte, 512> boot{};
    if (!ReadExact(source, volumeOffset, boot)) return std::nullopt;
    const auto decoded = DecodeNtfsBootSector(boot);
    if (!decoded || decoded->oemName != "NTFS    ") return std::nullopt;
    const NtfsBootSector& ntfs = *decoded;
    const std::uint32_t bps = ntfs.bytesPerSector;
    // The decoder allows 256-byte sectors; the free-space count has never read such a volume.
    if (bps < 512) return std::nullopt;
    const std::uint32_t spc = static_cast<std::uint32_t>(ntfs.SectorsPerCluster());
    const std::uint64_t clusterBytes = ntfs.clusterSize;
    const std::uint64_t clusters = ntfs.totalSectors / spc;
    const std::uint64_t mftCluster = ntfs.mftCluster;
    const std::uint64_t recordBytes = ntfs.recordSize;
    // Records are 1 KiB or 4 KiB in practice; anything outside 512 B..64 KiB is a corrupt boot sector.
    if (clusters == 0 || mftCluster >= clusters || !ntfs.HasUsableRecordSize() || recordBytes < 512)
        return std::nullopt;

    // Record 6 of the MFT is $Bitmap; the first records of the MFT always lie in its first extent.
    std::vector<std::byte> record(static_cast<std::size_t>(recordBytes));
    if (!ReadExact(source, volumeOffset + mftCluster * clusterBytes + 6 * recordBytes, record)) return std::nullopt;
    const auto header = DecodeNtfsRecordHeader(record);
    if (!header || !ApplyUpdateSequence(record, bps)) return std::nullopt;

    ByteReader rec(record);
    std::size_t at = header->firstAttributeOffset;
    // An attribute walk ends at 0xFFFFFFFF; a record of n bytes cannot hold more than n/16 attributes.
    for (std::size_t guard = 0; guard < recordBytes / 16 && rec.has(at, 16); ++guard) {
        const std::uint32_t type = rec.u32le(at);
        const std::uint32_t length = rec.u32le(at + 4);
        if (type == 0xFFFFFFFF || length < 16 || !rec.has(at, length)) break;
        if (type == 0x80 && rec.u8(at + 9) == 0 && rec.u8(at + 8) == 1) {  // unnamed, non-resident $DATA
            const ByteReader attr = rec.sub(at, length);
            const std::size_t pairsAt = attr.u16le(32);
            if (pairsAt >= length) return std::nullopt;
            const RunListResult runs =
                DecodeRunList(attr.bytes().subspan(pairsAt), attr.u64le(16), RunListLimits{65536, clusters});
            std::uint64_t bitsLeft = clusters;
            std::uint64_t freeClusters = 0;
            std::vector<std::byte> chunk;
            for (const ClusterRun& run : runs.runs) {
                std::uint64_t runBytes = run.length * clusterBytes;
                for (std::uint64_t done = 0; done < runBytes && bitsLeft > 0;) {
                    const std::size_t n = static_cast<std::size_t>(
                        std::min<std::uint64_t>({kChunkBytes, runBytes - done, (bitsLeft + 7) / 8}));
                    chunk.assign(n, std::byte{0});
                    if (!run.sparse && !ReadExact(source, volumeOffset + run.lcn * clusterBytes + done, chunk)) {
                        return std::nullopt;
                    }
                    for (std::byte b : chunk) {
                        const std::uint64_t bits = std::min<std::uint64_t>(8, bitsLeft);
                        const auto used = std::popcount(static_cast<unsigned>(std::to_integer<std::uint8_t>(b) &
                                                                              ((1u << bits) - 1)));
                        freeClusters += bits - static_cast<std::uint64_t>(used);
                        bitsLeft -= bits;
                    }
                    done += n;
                }
            }
            if (bitsLeft != 0) return std::nullopt;  // the bitmap does not cover the volume
            return FreeSpace{spc, bps, freeClusters, clusters};
        }
        at += length;
    }
    return std::nullopt;
}

}  // namespace lumacore
