#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "disk/disk_inventory.h"
#include "platform/device_map.h"

namespace lumacore {

// What a restore reports.
enum RestoreResult : int {
    kRestoreDone = 0,
    kRestoreNoDisk = 1,
    kRestoreNoCandidate = 2,
    kRestoreCannotAccess = 3,
    kRestoreInvalidCandidate = 4,
    kRestoreNoGap = 5,
    kRestoreTableFull = 6,  // every entry of the master boot record is taken: nothing was written
};

// One table entry a restore writes, in words: "WHERE N: start S, C sectors (size), type 0xTT"; `start`
// as the entry stores it.
std::string EntryText(const std::string& where, int index, std::uint32_t start, std::uint32_t count, std::uint8_t type);

// The message the user sees for a result other than kRestoreDone.
const char* RestoreMessage(int result);

// The file-system names a restore accepts: those of volumes that had a letter, or that a search found
// (FAT, NTFS, exFAT and EXT2/3/4).
bool IsRestorableName(std::string_view fsName);

constexpr const char* kRestoreWarning = "This operation is very dangerous, Are you sure to continue?";
constexpr const char* kRestoreSuccess =
    "  The partition has been recovered successfully. you must restart your computer to take effect.\n Click "
    "<Yes> to restart or click <No> to continue.";

struct SectorWrite {
    std::uint32_t sector = 0;
    std::array<std::byte, 512> bytes{};
    std::string what;  // "boot sector", "master boot record", ...
};

// Every sector a restore will write, worked out (with all the reads it needs) before anything is
// written, so that a restore that cannot be completed writes nothing.
struct RestorePlan {
    int result = kRestoreDone;
    std::vector<SectorWrite> writes;
    std::uint32_t newLastEbrSector = CDiskInventory::kNoExtendedChain;  // set when the chain grows
    std::vector<std::string> entries;  // the table entries written, in words, for the preview
};

// A plan that writes nothing and reports `result`.
inline RestorePlan RefusedPlan(int result) {
    RestorePlan plan;
    plan.result = result;
    return plan;
}

// Plans writing `candidate` back into the disk's master boot record or extended chain.
RestorePlan PlanRestore(const CDiskInventory& inventory, const DeviceMap& devices, int diskNumber,
                        const PartitionInfo& candidate);

// Saves the present content of every sector the plan writes into `undoFile` (created, never
// overwritten), then writes the plan. Any failure before the first write leaves the disk untouched.
Result<void> ApplyRestore(const DeviceMap& devices, int diskNumber, const DiskInfo& disk, const RestorePlan& plan,
                          const std::filesystem::path& undoFile);

// A new undo file for a restore on `disk` in the per-user backup folder: the model, the time and the
// process, so that two restores never share one.
std::filesystem::path NewUndoFilePath(const DiskInfo& disk);

// The undo files of `disk` (by the model its records name) in the per-user backup folder, newest first.
std::vector<std::filesystem::path> ListUndoFiles(const DiskInfo& disk);

// Whether an undo file belongs to this disk and every sector it saved still holds what the restore
// wrote; the number of sectors it would put back. Reads only.
Result<std::size_t> CheckUndo(const DeviceMap& devices, int diskNumber, const DiskInfo& disk,
                              const std::filesystem::path& undoFile);

// Puts back the sectors an undo file saved, after checking that the file belongs to this disk (model and
// size) and that each sector still holds what the restore wrote (unless `force`).
Result<std::size_t> UndoRestore(const DeviceMap& devices, int diskNumber, const DiskInfo& disk,
                                const std::filesystem::path& undoFile, bool force);

}  // namespace lumacore
