#include "partition/partition_restore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>

#include "core/byte_reader.h"
#include "core/size_text.h"
#include "partition/partition_backup.h"
#include "disk/gpt_table.h"
#include "partition/gpt_restore.h"
#include "partition/logical_head.h"
#include "partition/partition_entry.h"
#include "partition/partition_search.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kTrack = 63;
// Undo files: magic, the disk record, a count, then per sector its number, old bytes and new bytes.
constexpr char kUndoMagic[8] = {'L', 'C', 'U', 'N', 'D', 'O', '1', '\0'};
// No restore writes more than a handful of sectors; a larger count means the file is not ours.
constexpr std::uint32_t kMaxUndoSectors = 64;

using Sector = std::array<std::byte, kSector>;

bool ReadSector(ByteSource& disk, std::uint32_t sector, Sector& out) {
    return static_cast<bool>(ReadExact(disk, std::uint64_t{sector} * kSector, out));
}

std::uint8_t EntryType(const Sector& sector, int index) {
    return std::to_integer<std::uint8_t>(sector[0x1BE + static_cast<std::size_t>(index) * 16 + 4]);
}
std::uint32_t EntryCount(const Sector& sector, int index) {
    return ByteReader(sector).u32le(0x1BE + static_cast<std::size_t>(index) * 16 + 12);
}

}  // namespace

std::string EntryText(const std::string& where, int index, std::uint32_t start, std::uint32_t count, std::uint8_t type) {
    return Format("%s %d: start %u, %u sectors (%s), type 0x%02X", where.c_str(), index + 1, start, count,
                  SizeText(std::uint64_t{count} * kSector).c_str(), type);
}

bool IsRestorableName(std::string_view name) {
    return name == "FAT32" || name == "FAT16" || name == "NTFS" || name == "FAT" || name == "exFAT" ||
           name == "EXT2" || name == "EXT3" || name == "EXT4";
}

const char* RestoreMessage(int result) {
    switch (result) {
        case kRestoreNoDisk: return "Select the disk you want recover";
        case kRestoreNoCandidate: return "Select the partition you want recover";
        case kRestoreCannotAccess: return "Recovery failed. Can not access the disk! ";
        case kRestoreInvalidCandidate: return "The partition selected is invalid. Please select the other partition.";
        case kRestoreNoGap: return "The partition selected can't be recovered. Please select the other partition.";
        case kRestoreTableFull:
            return "Recovery failed. The partition table has no free entry; nothing was written to the disk.";
        default: return "";
    }
}

RestorePlan PlanRestore(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                        const PartitionInfo& candidateIn) {
    RestorePlan plan;
    if (diskNumber < 0) return RefusedPlan(kRestoreNoDisk);
    PartitionInfo w = candidateIn;
    if (!IsRestorableName(w.FsName())) return RefusedPlan(kRestoreInvalidCandidate);

    const std::uint64_t wEnd = std::uint64_t{w.startSector} + w.totalBytes / kSector;
    const std::uint32_t count = static_cast<std::uint32_t>(w.totalBytes / kSector);
    if (count == 0) return RefusedPlan(kRestoreInvalidCandidate);
    // A record from a backup or a damaged table may reach past the disk's end: no sector of it may be
    // planned there.
    for (const DiskInfo& disk : inventory.disks) {
        if (disk.diskNumber == diskNumber && wEnd * kSector > disk.sizeBytes) {
            return RefusedPlan(kRestoreNoGap);
        }
    }
    for (const PartitionInfo& y : RecordsOf(inventory, diskNumber)) {
        if (y.FsName() != "Deleted" || y.extendedStart != w.extendedStart ||
            y.tableSector > w.tableSector || std::uint64_t{y.startSector} + y.totalBytes / kSector < wEnd) {
            continue;
        }
        if (y.kind != PartitionInfo::kKindPrimary &&
            !(y.kind == PartitionInfo::kKindLogical && y.extendedStart <= w.tableSector)) {
            continue;
        }
        auto opened = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
        if (!opened) return RefusedPlan(kRestoreCannotAccess);
        ByteSource& disk = **opened;
        // The candidate must lie inside the gap it is restored into.
        if (w.startSector < y.tableSector) return RefusedPlan(kRestoreNoGap);

        SectorWrite boot{w.startSector, w.bootSector, "boot sector"};
        if (y.kind == PartitionInfo::kKindPrimary) {
            SectorWrite mbr{0, {}, "master boot record"};
            if (!ReadSector(disk, 0, mbr.bytes)) return RefusedPlan(kRestoreCannotAccess);
            if (HasProtectiveEntry(mbr.bytes)) return PlanGptRestore(disk, devices.QueryDiskLength(diskNumber) / kSector, w);
            int free = -1;
            for (int i = 0; i < 4 && free < 0; ++i) {
                if (EntryCount(mbr.bytes, i) == 0) free = i;
            }
            if (free < 0) return RefusedPlan(kRestoreTableFull);
            FillTableEntry(mbr.bytes, free, w.typeCode, w.startSector, count);
            plan.writes = {boot, mbr};
            plan.entries = {EntryText("master boot record entry", free, w.startSector, count, w.typeCode)};
            return plan;
        }

        const std::uint32_t last = inventory.LastEbrSector(diskNumber);
        if (last == CDiskInventory::kNoExtendedChain || last < y.extendedStart) {
            return RefusedPlan(kRestoreCannotAccess);
        }
        if (auto head = PlanLogicalHeadRestore(disk, w, y.extendedStart, last)) return *head;
        if (w.kind == PartitionInfo::kKindPrimary) {
            if (w.tableSector < y.tableSector + kTrack) return RefusedPlan(kRestoreCannotAccess);
            w.tableSector = w.startSector - kTrack;
        }
        if (w.startSector < w.tableSector + 1) return RefusedPlan(kRestoreInvalidCandidate);
        const std::uint32_t e = w.tableSector;
        SectorWrite record{e, {}, "extended boot record"};
        if (e == y.extendedStart) {
            // The first logical partition: keep the existing link by moving it to the second entry.
            if (!ReadSector(disk, e, record.bytes)) return RefusedPlan(kRestoreCannotAccess);
            if (EntryType(record.bytes, 0) == 0x05) {
                std::memmove(record.bytes.data() + 0x1CE, record.bytes.data() + 0x1BE, 16);
            }
            FillTableEntry(record.bytes, 0, w.typeCode, w.startSector - e, count);
            plan.writes = {boot, record};
            plan.entries = {EntryText("extended boot record at sector " + std::to_string(e) + ", entry", 0,
                                      w.startSector - e, count, w.typeCode)};
            return plan;
        }
        FillTableEntry(record.bytes, 0, w.typeCode, w.startSector - e, count);
        record.bytes[510] = std::byte{0x55};
        record.bytes[511] = std::byte{0xAA};
        SectorWrite link{last, {}, "previous extended boot record (link)"};
        if (!ReadSector(disk, last, link.bytes)) return RefusedPlan(kRestoreCannotAccess);
        FillTableEntry(link.bytes, 1, 0x05, e - y.extendedStart, count + kTrack);
        plan.writes = {boot, record, link};
        plan.newLastEbrSector = e;
        plan.entries = {EntryText("new extended boot record at sector " + std::to_string(e) + ", entry", 0,
                                  w.startSector - e, count, w.typeCode),
                        EntryText("extended boot record at sector " + std::to_string(last) + ", link entry", 1,
                                  e - y.extendedStart, count + kTrack, 0x05)};
        return plan;
    }
    return RefusedPlan(kRestoreNoGap);
}

Result<void> ApplyRestore(const DeviceMap& devices, int diskNumber, const DiskInfo& disk, const RestorePlan& plan,
                          const std::filesystem::path& undoFile) {
    if (plan.result != kRestoreDone) return Error::Make(ErrorKind::InvalidArgument, RestoreMessage(plan.result));
    auto opened = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadWrite);
    if (!opened) return opened.error();
    BlockDevice& device = **opened;

    // Save what is there now, before the first write.
    std::string undo(kUndoMagic, sizeof kUndoMagic);
    const auto diskBytes = disk.Serialize();
    undo.append(reinterpret_cast<const char*>(diskBytes.data()), diskBytes.size());
    std::array<std::byte, 4> countBytes{};
    PutLe(countBytes, 0, plan.writes.size(), 4);
    undo.append(reinterpret_cast<const char*>(countBytes.data()), 4);
    for (const SectorWrite& write : plan.writes) {
        Sector old{};
        if (!ReadSector(device, write.sector, old)) return Error::Io("cannot read sector " + std::to_string(write.sector));
        std::array<std::byte, 4> number{};
        PutLe(number, 0, write.sector, 4);
        undo.append(reinterpret_cast<const char*>(number.data()), 4);
        undo.append(reinterpret_cast<const char*>(old.data()), old.size());
        undo.append(reinterpret_cast<const char*>(write.bytes.data()), write.bytes.size());
    }
    std::filesystem::create_directories(undoFile.parent_path());
    const int fd = ::open(undoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return Error::Io("cannot create the undo file " + undoFile.string(), errno);
    const bool saved = ::write(fd, undo.data(), undo.size()) == static_cast<ssize_t>(undo.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!saved) return Error::Io("cannot write the undo file " + undoFile.string());

    for (const SectorWrite& write : plan.writes) {
        if (auto written = device.WriteAt(std::uint64_t{write.sector} * kSector, write.bytes); !written) {
            return written.error();
        }
    }
    return device.Flush();
}

namespace {

// An undo file read into memory and checked against the disk it names.
struct UndoRecords {
    std::string bytes;
    std::size_t header = 0;
    std::uint32_t count = 0;

    static constexpr std::size_t kRecordSize = 4 + 2 * kSector;
    std::span<const std::byte> data() const {
        return {reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()};
    }
    std::uint32_t sector(std::uint32_t i) const { return ByteReader(data()).u32le(header + i * kRecordSize); }
    std::span<const std::byte> oldBytes(std::uint32_t i) const { return data().subspan(header + i * kRecordSize + 4, kSector); }
    std::span<const std::byte> newBytes(std::uint32_t i) const {
        return data().subspan(header + i * kRecordSize + 4 + kSector, kSector);
    }
};

Result<UndoRecords> ReadUndoFile(const std::filesystem::path& undoFile, const DiskInfo& disk) {
    std::error_code error;
    const auto size = std::filesystem::file_size(undoFile, error);
    const std::size_t header = sizeof kUndoMagic + DiskInfo::kStoredSize + 4;
    if (error || size > header + kMaxUndoSectors * UndoRecords::kRecordSize) {
        return Error::Corrupt("not an undo file: " + undoFile.string());
    }
    UndoRecords undo;
    std::ifstream in(undoFile, std::ios::binary);
    undo.bytes.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    undo.header = header;
    const ByteReader r(undo.data());
    if (!r.has(0, header) || std::memcmp(undo.bytes.data(), kUndoMagic, sizeof kUndoMagic) != 0) {
        return Error::Corrupt("not an undo file: " + undoFile.string());
    }
    const DiskInfo stored = DiskInfo::Deserialize(undo.data().subspan(sizeof kUndoMagic).first<DiskInfo::kStoredSize>());
    if (stored.Model() != disk.Model() || stored.sizeBytes != disk.sizeBytes) {
        return Error::Make(ErrorKind::InvalidArgument, "the undo file belongs to another disk");
    }
    undo.count = r.u32le(header - 4);
    if (undo.count > kMaxUndoSectors || undo.bytes.size() != header + undo.count * UndoRecords::kRecordSize) {
        return Error::Corrupt("the undo file is damaged");
    }
    return undo;
}

// Every saved sector must still hold what the restore wrote: anything else means the disk changed since,
// and putting old bytes back would damage it.
Result<void> VerifyUndo(ByteSource& device, const UndoRecords& undo) {
    for (std::uint32_t i = 0; i < undo.count; ++i) {
        Sector now{};
        if (!ReadSector(device, undo.sector(i), now)) return Error::Io("cannot read sector " + std::to_string(undo.sector(i)));
        if (std::memcmp(now.data(), undo.newBytes(i).data(), kSector) != 0) {
            return Error::Make(ErrorKind::InvalidArgument,
                               "sector " + std::to_string(undo.sector(i)) + " changed since the restore; nothing was undone");
        }
    }
    return {};
}

std::string FileNameSafeModel(const DiskInfo& disk) {
    std::string model = disk.Model();
    for (char& c : model) {
        if (c == '/' || c == ' ') c = '_';
    }
    return model;
}

}  // namespace

std::filesystem::path NewUndoFilePath(const DiskInfo& disk) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = FileNameSafeModel(disk) + "-restore-" + stamp + "-" + std::to_string(::getpid());
    // Two restores within one second from one program (the page allows it) must not share a file.
    const std::filesystem::path folder = UserBackupFolder();
    std::filesystem::path path = folder / (base + ".undo");
    for (int n = 2; std::filesystem::exists(path); ++n) path = folder / (base + "-" + std::to_string(n) + ".undo");
    return path;
}

std::vector<std::filesystem::path> ListUndoFiles(const DiskInfo& disk) {
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> found;
    const std::string prefix = FileNameSafeModel(disk) + "-restore-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(UserBackupFolder(), error)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || entry.path().extension() != ".undo" || name.rfind(prefix, 0) != 0) continue;
        found.emplace_back(entry.last_write_time(error), entry.path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second > b.second;
    });
    std::vector<std::filesystem::path> paths;
    for (auto& [time, path] : found) paths.push_back(std::move(path));
    return paths;
}

Result<std::size_t> CheckUndo(const DeviceMap& devices, int diskNumber, const DiskInfo& disk,
                              const std::filesystem::path& undoFile) {
    auto undo = ReadUndoFile(undoFile, disk);
    if (!undo) return undo.error();
    auto opened = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadOnly);
    if (!opened) return opened.error();
    if (auto verified = VerifyUndo(**opened, *undo); !verified) return verified.error();
    return std::size_t{undo->count};
}

Result<std::size_t> UndoRestore(const DeviceMap& devices, int diskNumber, const DiskInfo& disk,
                                const std::filesystem::path& undoFile, bool force) {
    auto undo = ReadUndoFile(undoFile, disk);
    if (!undo) return undo.error();
    auto opened = devices.OpenPhysicalDrive(diskNumber, AccessMode::ReadWrite);
    if (!opened) return opened.error();
    BlockDevice& device = **opened;
    // Check everything first, then write: an undo that cannot be completed writes nothing.
    if (!force) {
        if (auto verified = VerifyUndo(device, *undo); !verified) return verified.error();
    }
    for (std::uint32_t i = undo->count; i-- > 0;) {
        if (auto written = device.WriteAt(std::uint64_t{undo->sector(i)} * kSector, undo->oldBytes(i)); !written) {
            return written.error();
        }
    }
    if (auto flushed = device.Flush(); !flushed) return flushed.error();
    return std::size_t{undo->count};
}

}  // namespace lumacore
