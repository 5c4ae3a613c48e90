#include "partition/partition_search.h"

#include <algorithm>
#include <array>
#include <set>

#include "core/byte_reader.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kSector = 512;
// Gaps are read in blocks of this many sectors.
constexpr std::uint32_t kBlockSectors = 2048;

std::uint8_t TypeFor(const char* kind, std::uint8_t gapKind) {
    const std::string name = kind;
    if (name == "FAT32") return gapKind == PartitionInfo::kKindLogical ? 0x0B : 0x0C;
    if (name == "NTFS") return 0x07;
    return 0x06;
}

// Volume length in sectors from a boot sector, 0 when the fields make no sense. An NTFS volume's own
// count leaves out the backup boot sector in its last sector, which the partition includes.
std::uint64_t VolumeSectors(std::span<const std::byte> sector, const std::string& kind) {
    const ByteReader r(sector);
    if (r.u16le(0x0B) != kSector) return 0;
    const std::uint32_t spc = r.u8(0x0D);
    if (spc == 0 || (spc & (spc - 1)) != 0) {
        if (kind != "NTFS" || spc < 0xE0) return 0;  // NTFS stores large cluster sizes as a negative power
    }
    if (kind == "NTFS") return r.u64le(0x28) == 0 ? 0 : r.u64le(0x28) + 1;
    return r.u16le(0x13) != 0 ? r.u16le(0x13) : r.u32le(0x20);
}

}  // namespace

std::uint32_t LastSectorOf(const PartitionInfo& candidate) {
    return candidate.EndSector() - 1;
}

PartitionList RecordsOf(const CDiskInventory& inventory, int diskNumber) {
    PartitionList records;
    for (const PartitionInfo& record : inventory.volumes) {
        if (record.diskNumber == diskNumber) records.push_back(record);
    }
    if (!records.empty()) return records;
    for (const DiskInfo& disk : inventory.disks) {
        if (disk.diskNumber != diskNumber || disk.sizeBytes <= std::uint64_t{63} * kSector) continue;
        PartitionInfo gap;
        gap.diskNumber = diskNumber;
        gap.driveLetter = PartitionInfo::kNoLetter;
        gap.kind = PartitionInfo::kKindPrimary;
        gap.tableSector = gap.startSector = 63;
        gap.SetFsName("Deleted");
        gap.SetVolumeLabel("Unknown");
        gap.sectorsPerCluster = 8;
        gap.bytesPerSector = kSector;
        // Sector numbers are 32-bit: a table can describe no more than 2^32 sectors.
        gap.totalBytes = gap.freeBytes = std::min<std::uint64_t>(disk.sizeBytes, std::uint64_t{0xFFFFFFFF} * kSector) - 63 * kSector;
        records.push_back(gap);
    }
    return records;
}

const char* LostPartitionKind(std::span<const std::byte> sector) {
    const ByteReader r(sector);
    if (r.u8(0) != 0xEB || r.u8(510) != 0x55 || r.u8(511) != 0xAA) return nullptr;
    if (r.matches(0x52, "FAT3")) return "FAT32";
    if (r.matches(3, "NTFS")) return "NTFS";
    if (r.matches(0x36, "FAT1")) return "FAT16";
    return nullptr;
}

Result<void> AutoScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                      PartitionList& candidates) {
    auto disk = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    candidates.clear();
    for (const PartitionInfo& record : RecordsOf(inventory, diskNumber)) {
        candidates.push_back(record);
        if (record.FsName() != "Deleted") continue;
        PartitionInfo& candidate = candidates.back();
        if (auto read = ReadExact(**disk, std::uint64_t{candidate.startSector} * kSector, candidate.bootSector); !read) {
            return read.error();
        }
        if (const char* kind = LostPartitionKind(candidate.bootSector)) {
            candidate.SetFsName(kind);
            candidate.typeCode = TypeFor(kind, candidate.kind);
        }
    }
    return {};
}

Result<PartitionList> DeepScan(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                               ProgressFields& progress, const StopToken& stop) {
    auto disk = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!disk) return disk.error();
    const PartitionList records = RecordsOf(inventory, diskNumber);
    std::vector<const PartitionInfo*> gaps;
    std::uint64_t total = 0;
    for (const PartitionInfo& record : records) {
        if (record.FsName() != "Deleted") continue;
        gaps.push_back(&record);
        total += record.EndSector() - record.tableSector;
    }
    progress.Start("Searching lost partitions ...", static_cast<std::int64_t>(total));

    PartitionList found;
    std::set<std::uint32_t> starts;
    std::vector<std::byte> block;
    for (const PartitionInfo* gap : gaps) {
        const std::uint32_t gapStart = gap->tableSector;
        const std::uint32_t gapEnd = gap->EndSector();
        auto consider = [&](std::uint32_t start, std::span<const std::byte> boot, const char* kind) {
            const std::uint64_t sectors = VolumeSectors(boot, kind);
            if (sectors == 0 || start < gapStart || std::uint64_t{start} + sectors > gapEnd || !starts.insert(start).second) {
                return;
            }
            PartitionInfo candidate = *gap;
            candidate.SetFsName(kind);
            candidate.typeCode = TypeFor(kind, gap->kind);
            candidate.startSector = start;
            candidate.totalBytes = candidate.freeBytes = sectors * kSector;
            std::copy(boot.begin(), boot.begin() + kSector, candidate.bootSector.begin());
            // A logical partition needs room for its extended boot record one track before it.
            if (gap->kind == PartitionInfo::kKindLogical) {
                if (start < gapStart + 63) {
                    starts.erase(start);
                    return;
                }
                candidate.tableSector = start - 63;
            } else {
                candidate.tableSector = start;
            }
            found.push_back(candidate);
        };
        for (std::uint32_t at = gapStart; at < gapEnd && !stop.StopRequested();) {
            const std::uint32_t count = std::min(kBlockSectors, gapEnd - at);
            block.resize(std::size_t{count} * kSector);
            auto got = (*disk)->ReadAt(std::uint64_t{at} * kSector, block);
            if (!got) return got.error();
            const std::uint32_t readable = static_cast<std::uint32_t>(*got / kSector);
            for (std::uint32_t k = 0; k < readable; ++k) {
                const std::uint32_t sector = at + k;
                const auto bytes = std::span<const std::byte>(block).subspan(std::size_t{k} * kSector, kSector);
                const char* kind = LostPartitionKind(bytes);
                if (kind == nullptr) continue;
                if (sector % 63 == 0 || sector % 2048 == 0 || sector == gap->startSector) consider(sector, bytes, kind);
                // An NTFS backup boot sector closes its volume: the volume began its own length before.
                if (std::string(kind) == "NTFS") {
                    const std::uint64_t length = VolumeSectors(bytes, kind);
                    if (length > 0 && length - 1 <= sector) consider(static_cast<std::uint32_t>(sector - (length - 1)), bytes, kind);
                }
            }
            progress.AddDone(count);
            if (readable < count) break;  // the disk ends here
            at += count;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const PartitionInfo& a, const PartitionInfo& b) { return a.startSector < b.startSector; });
    return found;
}

}  // namespace lumacore
