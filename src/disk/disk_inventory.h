#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "core/disk_info.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "disk/gpt_table.h"
#include "platform/device_map.h"

namespace lumacore {

// The machine's disks and the volumes, partition-table entries and unallocated gaps on them. Each page
// that shows disks owns one and refreshes it itself; nothing is updated between refreshes.
class CDiskInventory {
public:
    static constexpr std::uint32_t kNoExtendedChain = 0xFFFFFFFF;
    // A chain of extended boot records longer than this loops or is garbage: partitioning tools stop
    // far below it.
    static constexpr int kMaxExtendedChainLength = 1024;

    explicit CDiskInventory(const DeviceMap& devices) : devices_(devices) {}

    // Rebuilds both tables: disks first, then the lettered volumes merged with every table entry and gap.
    // A stop request (a page that goes away while it lists) ends it before the next device is asked;
    // the tables are then incomplete and stopped() says so.
    void Refresh(const StopToken* stop = nullptr);
    bool stopped() const { return stopped_; }

    int volumeCount() const { return static_cast<int>(volumes.size()); }
    int diskCount() const { return static_cast<int>(disks.size()); }
    const PartitionInfo& GetVolume(int i) const { return volumes.at(static_cast<std::size_t>(i)); }
    const DiskInfo& GetDisk(int i) const { return disks.at(static_cast<std::size_t>(i)); }

    // The sector of the last extended boot record of a disk's chain; kNoExtendedChain when it has none.
    std::uint32_t LastEbrSector(int diskNumber) const;
    void SetLastEbrSector(int diskNumber, std::uint32_t sector);

    // How a GPT disk's table was read: "GPT", "GPT (backup header; primary: ...)" when the primary header
    // or array is damaged, "GPT unreadable: ..." when both are; empty for every other disk.
    std::string PartitionTableNote(int diskNumber) const;

    // Steps of Refresh, public so that the partition page and the tests can run them on their own.
    int EnumerateDisks();
    int EnumerateVolumes();
    PartitionList CollectAllPartitions();
    bool ReadPartitionTable(int diskNumber, PartitionList& list);
    bool WalkExtendedChain(ByteSource& disk, std::uint32_t extendedStart, int diskNumber, PartitionList& list);
    int FindDiskByModel(const std::string& model) const;
    std::uint64_t QueryDiskSize(int diskNumber) const;
    bool QueryVolume(char letter, PartitionInfo& volume) const;

    // Inserts before the first record with a greater table sector; a record whose table sector is
    // already in the list is dropped.
    static void InsertSorted(PartitionList& list, const PartitionInfo& record);

    std::vector<PartitionInfo> volumes;
    std::vector<DiskInfo> disks;

private:
    void NoteGpt(int diskNumber, const Result<GptTable>& gpt);

    const DeviceMap& devices_;
    bool StopAsked();

    const StopToken* stop_ = nullptr;  // during Refresh only
    bool stopped_ = false;
    std::map<int, std::string> tableNotes_;
    std::vector<std::uint32_t> lastEbrSector_;
};

}  // namespace lumacore

namespace lumacore {

constexpr const char* kAdministratorMessage = "Please run this product as Administrator!";

// The check made whenever a page that lists disks opens: true when opening physical drive 0 is refused
// for lack of rights (every later open would fail the same way).
bool AdministratorRightsMissing(const DeviceMap& devices);

}  // namespace lumacore
