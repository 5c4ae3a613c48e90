#include "engines/fat/fat_volume.h"

#include <array>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

constexpr std::size_t kFatReadChunk = 1 << 20;

}  // namespace

CFatVolume::CFatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition, bool fat32)
    : disk_(std::move(disk)),
      volumeOffset_(std::uint64_t{partition.startSector} * 512),
      driveLetter_(partition.driveLetter),
      fat32_(fat32) {
    if (auto opened = Open(); !opened) {
        openError_ = opened.error();
    } else {
        open_ = true;
        rangeStart = 0;
        rangeEnd = geometry_.totalSectors;
        ComputeEstimatedFileCount();
    }
}

Result<void> CFatVolume::ReadSectors(std::uint64_t sector, std::span<std::byte> out) {
    return ReadExact(*disk_, volumeOffset_ + sector * geometry_.bytesPerSector, out);
}

Result<void> CFatVolume::Open() {
    if (!disk_) return Error::Make(ErrorKind::InvalidArgument, "no disk");
    std::array<std::byte, 512> boot{};
    if (auto read = ReadExact(*disk_, volumeOffset_, boot); !read) return read.error();
    auto geometry = ParseFatBootSector(boot, fat32_);
    if (!geometry) return geometry.error();
    geometry_ = *geometry;

    // Only the entries for the volume's clusters are needed, however long the FAT claims to be.
    const std::uint64_t entries = std::uint64_t{geometry_.clusterCount} + 2;
    const std::uint64_t fatBytes = (entries * geometry_.FatEntryBits() + 7) / 8;
    if (fatBytes > kMaxFatBytes) return Error::Corrupt("FAT larger than any volume can need");
    fat_.assign(static_cast<std::size_t>(entries), 0);
    std::vector<std::byte> chunk;
    const std::size_t chunkBytes = kFatReadChunk - kFatReadChunk % 3;  // whole FAT12 entry pairs per chunk
    for (std::uint64_t at = 0; at < fatBytes; at += chunkBytes) {
        chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, fatBytes - at)));
        const std::uint64_t byteOffset = std::uint64_t{geometry_.FatStartSector()} * geometry_.bytesPerSector + at;
        if (auto read = ReadExact(*disk_, volumeOffset_ + byteOffset, chunk); !read) return read.error();
        const ByteReader r(chunk);
        const std::uint64_t bits = geometry_.FatEntryBits();
        const std::uint64_t first = at * 8 / bits;
        const std::uint64_t last = std::min<std::uint64_t>((at + chunk.size()) * 8 / bits, entries);
        for (std::uint64_t e = first; e < last; ++e) {
            const std::size_t byteAt = static_cast<std::size_t>(e * bits / 8 - at);
            std::uint32_t value = 0;
            if (bits == 12) {
                const std::uint16_t pair = r.u16le(byteAt);
                value = (e & 1) ? (pair >> 4) : (pair & 0x0FFF);
            } else if (bits == 16) {
                value = r.u16le(byteAt);
            } else {
                value = r.u32le(byteAt);  // used unmasked: a value with its top bits set ends the chain
            }
            fat_[static_cast<std::size_t>(e)] = value;
        }
    }
    return {};
}

std::uint32_t CFatVolume::FatEntry(std::uint32_t cluster) const {
    return cluster < fat_.size() ? fat_[cluster] : geometry_.EndOfChain();
}

void CFatVolume::ComputeEstimatedFileCount() {
    // Counts the clusters of chains shorter than four clusters: a cheap guess of how many small files
    // the walk will meet, for the progress bar.
    std::vector<std::uint8_t> marked(fat_.size(), 0);
    const std::uint32_t first = fat32_ ? geometry_.rootCluster : 2;
    std::uint64_t estimate = 0;
    for (std::uint32_t i = first; i < fat_.size(); ++i) {
        if (fat_[i] == 0 || marked[i]) continue;
        std::uint32_t length = 1;
        for (std::uint32_t next = fat_[i]; !EndsChain(next) && next >= 2 && next < fat_.size() && !marked[next];
             next = fat_[next]) {
            marked[next] = 1;
            ++length;
        }
        if (length < 4) estimate += length;
    }
    estimatedFileCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(estimate, UINT32_MAX));
}

bool IsFat32Record(const PartitionInfo& partition) {
    const std::string name = partition.FsName();
    return name == "FAT32" || name == "#FAT32#";
}

std::unique_ptr<CFatVolume> MakeFatVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition) {
    if (IsFat32Record(partition)) return std::make_unique<CFat32Volume>(std::move(disk), partition);
    return std::make_unique<CFat16Volume>(std::move(disk), partition);
}

}  // namespace lumacore
