// `partitions --disk N search|restore|backup|load|undo`: lost partitions and partition backups.
#include <unistd.h>

#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/overwrite_prompt.h"
#include "cli/progress_line.h"
#include "cli/volume_selection.h"
#include "core/json_writer.h"
#include "core/size_text.h"
#include "partition/partition_backup.h"
#include "partition/partition_restore.h"
#include "partition/partition_search.h"
#include "partition/table_refresh.h"

namespace lumacore {

namespace {

constexpr const char* kNoLostPartitions = "No lost partitions found.";

int Fail(const std::string& message, int code) {
    std::cerr << "lumacore-cli partitions: " << message << '\n';
    return code;
}

std::string CandidateRow(std::size_t index, const PartitionInfo& c) {
    return Format("%3zu  %c:  %-8s  Start Sector : %u   End Sector : %u  (%s)", index, c.driveLetter,
                  c.FsName().c_str(), c.startSector, LastSectorOf(c), SizeText(c.totalBytes).c_str());
}

void PrintCandidates(const PartitionList& candidates, bool json) {
    if (!json) {
        for (std::size_t i = 0; i < candidates.size(); ++i)
            std::cout << CandidateRow(i, candidates[i]) << '\n';
        return;
    }
    JsonWriter out;
    out.BeginObject();
    out.BeginArray("candidates");
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const PartitionInfo& c = candidates[i];
        out.BeginObject();
        out.Unsigned("index", i);
        out.String("driveLetter", std::string(1, c.driveLetter));
        out.String("fsName", c.FsName());
        out.Unsigned("kind", c.kind);
        out.Unsigned("tableSector", c.tableSector);
        out.Unsigned("extendedStart", c.extendedStart);
        out.Unsigned("startSector", c.startSector);
        out.Unsigned("endSector", LastSectorOf(c));
        out.Unsigned("totalBytes", c.totalBytes);
        out.Unsigned("typeCode", c.typeCode);
        out.Bool("restorable", IsRestorableName(c.FsName()));
        out.EndObject();
    }
    out.EndArray();
    out.EndObject();
    std::cout << out.text();
}

// What a write changes, as runs of differing bytes: "offset: old -> new".
void PrintWrite(const SectorWrite& write, ByteSource& disk) {
    std::array<std::byte, 512> now{};
    const bool readable = static_cast<bool>(ReadExact(disk, std::uint64_t{write.sector} * 512, now));
    std::cout << "sector " << write.sector << " (" << write.what << "):\n";
    for (std::size_t at = 0; at < 512;) {
        if (readable && now[at] == write.bytes[at]) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < 512 && end - at < 16 && (!readable || now[end] != write.bytes[end])) ++end;
        std::string oldHex, newHex;
        for (std::size_t k = at; k < end; ++k) {
            oldHex += Format("%02X", std::to_integer<unsigned>(now[k]));
            newHex += Format("%02X", std::to_integer<unsigned>(write.bytes[k]));
        }
        std::cout << Format("  %03zX: %s -> %s\n", at, readable ? oldHex.c_str() : "(unreadable)",
                            newHex.c_str());
        at = end;
    }
}

bool Confirmed(bool yes) {
    if (yes) return true;
    if (::isatty(STDIN_FILENO) != 1) return false;
    std::cerr << kRestoreWarning << " [y/N]: " << std::flush;
    std::string answer;
    return std::getline(std::cin, answer) && (answer == "y" || answer == "yes");
}

}  // namespace

int RunPartitionsCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options(
        "lumacore-cli partitions",
        "Finds lost partitions and writes one back (an undo file is kept), or keeps and loads "
        "partition backups.");
    options.Words("search|restore|backup FILE|load FILE|undo FILE", "what to do")
        .Value("--disk", "N", "the disk; required")
        .Flag("--deep", "search: also look for boot sectors and superblocks inside every gap")
        .Flag("--json", "search, load: print JSON")
        .Value("--candidate", "K", "restore: the K-th candidate of the search")
        .Value("--start", "SECTOR", "restore: the candidate that starts at this sector")
        .Value("--from-backup", "FILE", "restore: take the candidates from a partition backup file")
        .Flag("--dry-run", "restore: show what would be written, write nothing")
        .Flag("--yes", "restore: write without asking")
        .Flag("--force", "undo: put the saved sectors back even where they changed since the restore");
    AddOverwriteOption(options);
    options.Example("lumacore-cli --image disk.img partitions --disk 0 search --deep", "list lost partitions")
        .Example("lumacore-cli --image disk.img partitions --disk 0 restore --candidate 0 --dry-run",
                 "what restoring the first one would write")
        .Example("lumacore-cli --image disk.img partitions --disk 0 backup table.pbf", "keep the table");
    if (auto parsed = options.Parse(arguments); !parsed) return Fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
    const auto& words = options.positional();
    std::uint64_t diskNumber = 0;
    if (!options.Get("--disk") || !ParseUnsigned(*options.Get("--disk"), diskNumber) || words.empty()) {
        return Fail("usage: partitions --disk N search|restore|backup FILE|load FILE|undo FILE", kExitUsage);
    }
    CDiskInventory inventory(devices);
    inventory.Refresh();
    const DiskInfo* disk = nullptr;
    for (const DiskInfo& d : inventory.disks) {
        if (d.diskNumber >= 0 && static_cast<std::uint64_t>(d.diskNumber) == diskNumber) disk = &d;
    }
    if (disk == nullptr)
        return Fail("there is no disk " + std::to_string(diskNumber) + " (see 'disks')", kExitUsage);
    const int number = disk->diskNumber;
    const std::string& action = words[0];

    auto candidates = [&](PartitionList& out) -> Result<void> {
        if (const auto file = options.Get("--from-backup")) {
            auto loaded = LoadBackup(*file, *disk);
            if (!loaded) return loaded.error();
            out = *loaded;
            return {};
        }
        if (options.Has("--deep")) {
            ProgressFields progress;
            StopToken stop;
            ProgressLine line(progress);
            auto found = DeepScan(inventory, devices, number, progress, stop);
            if (!found) return found.error();
            out = *found;
            return {};
        }
        return AutoScan(inventory, devices, number, out);
    };

    if (action == "search") {
        PartitionList list;
        if (auto found = candidates(list); !found)
            return Fail(kBackupLoadFailed + std::string(": ") + found.error().message, kExitFailure);
        PrintCandidates(list, options.Has("--json"));
        // Auto Scan lists every record of the disk; a lost partition is a gap it could name.
        const PartitionList records = RecordsOf(inventory, number);
        bool lost = options.Has("--deep") && !list.empty();
        for (std::size_t i = 0; i < list.size() && i < records.size() && !options.Has("--deep"); ++i) {
            lost = lost || (records[i].FsName() == "Deleted" && list[i].FsName() != "Deleted");
        }
        if (!lost && !options.Has("--json") && !options.Get("--from-backup"))
            std::cout << kNoLostPartitions << '\n';
        return kExitOk;
    }
    if (action == "load") {
        if (words.size() != 2) return Fail("usage: partitions --disk N load FILE", kExitUsage);
        auto loaded = LoadBackup(words[1], *disk);
        if (!loaded) return Fail(loaded.error().message, kExitFailure);
        PrintCandidates(*loaded, options.Has("--json"));
        return kExitOk;
    }
    if (action == "backup") {
        if (words.size() != 2)
            return Fail("usage: partitions --disk N backup FILE [--overwrite ask|yes|no]", kExitUsage);
        auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
        if (!policy) return Fail(policy.error().message, kExitUsage);
        const OutputGuard guard = OutputGuard::ForDisk(devices, number);
        if (auto written =
                WriteBackup(words[1], *disk, inventory.volumes, guard, ConfirmOverwrite(words[1], *policy));
            !written) {
            return Fail(written.error().message, kExitFailure);
        }
        std::cout << kBackupDone << '\n';
        return kExitOk;
    }
    if (action == "undo") {
        if (words.size() != 2) return Fail("usage: partitions --disk N undo FILE [--force]", kExitUsage);
        auto undone = UndoRestore(devices, number, *disk, words[1], options.Has("--force"));
        if (!undone) return Fail(undone.error().message, kExitFailure);
        std::cout << "Put back " << *undone << " sectors from " << words[1] << '\n';
        return kExitOk;
    }
    if (action != "restore") return Fail("unknown action '" + action + "'", kExitUsage);

    // A candidate is named by its number in the search's list, or by its first sector, which stays the
    // same from one search to the next when a restore has changed the list.
    std::uint64_t index = 0;
    std::uint64_t start = 0;
    const bool byStart = options.Get("--start").has_value();
    if (byStart ? !ParseUnsigned(*options.Get("--start"), start)
                : !options.Get("--candidate") || !ParseUnsigned(*options.Get("--candidate"), index)) {
        std::cerr << RestoreMessage(kRestoreNoCandidate) << '\n';
        return kExitUsage;
    }
    PartitionList list;
    if (auto found = candidates(list); !found) return Fail(found.error().message, kExitFailure);
    if (byStart) {
        index = list.size();
        for (std::size_t i = 0; i < list.size() && index == list.size(); ++i) {
            if (list[i].startSector == start && list[i].FsName() != "Deleted") index = i;
        }
    }
    if (index >= list.size()) {
        std::cerr << RestoreMessage(kRestoreNoCandidate) << '\n';
        return kExitUsage;
    }
    const RestorePlan plan = PlanRestore(inventory, devices, number, list[index]);
    if (plan.result != kRestoreDone) {
        std::cerr << RestoreMessage(plan.result) << '\n';
        return kExitFailure;
    }
    auto reader = devices.OpenPhysicalDrive(number, AccessMode::ReadOnly);
    if (!reader) return Fail(RestoreMessage(kRestoreCannotAccess), kExitFailure);
    for (const std::string& entry : plan.entries) std::cout << entry << '\n';
    for (const SectorWrite& write : plan.writes) PrintWrite(write, **reader);
    if (options.Has("--dry-run")) {
        std::cout << "Dry run: nothing was written.\n";
        return kExitOk;
    }
    if (!Confirmed(options.Has("--yes")))
        return Fail("not confirmed (give --yes to restore without asking)", kExitFailure);
    const std::filesystem::path undo = NewUndoFilePath(*disk);
    if (auto applied = ApplyRestore(devices, number, *disk, plan, undo); !applied) {
        return Fail(std::string(RestoreMessage(kRestoreCannotAccess)) + "(" + applied.error().message + ")",
                    kExitFailure);
    }
    std::cout << "The partition has been recovered successfully.\n"
              << "Undo file: " << undo.string() << " (lumacore-cli partitions --disk " << number
              << " undo FILE)\n";
    std::cout << RefreshPartitionTable(devices, number).message << '\n';
    return kExitOk;
}

}  // namespace lumacore
