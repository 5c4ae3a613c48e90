// `disks`: the disks and volumes as the drive page shows them, or every record field as JSON.

#include <cstdio>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/offset_volume.h"
#include "core/json_writer.h"
#include "disk/disk_inventory.h"
#include "disk/drive_tree_text.h"

namespace lumacore {

namespace {

void WriteDisk(JsonWriter& json, const DiskInfo& disk, const CDiskInventory& inventory) {
    json.BeginObject();
    json.String("model", disk.Model());
    json.Unsigned("sizeBytes", disk.sizeBytes);
    json.Unsigned("removable", disk.removable);
    json.Number("diskNumber", disk.diskNumber);
    json.Unsigned("busType", disk.busType);
    json.String("busName", BusTypeName(disk.busType));
    const std::uint32_t lastEbr = inventory.LastEbrSector(disk.diskNumber);
    if (lastEbr == CDiskInventory::kNoExtendedChain) {
        json.Null("lastEbrSector");
    } else {
        json.Unsigned("lastEbrSector", lastEbr);
    }
    if (const std::string note = inventory.PartitionTableNote(disk.diskNumber); !note.empty()) {
        json.String("partitionTable", note);
    }
    json.EndObject();
}

void WriteVolume(JsonWriter& json, const PartitionInfo& volume, int index) {
    json.BeginObject();
    json.Number("index", index);
    json.Number("diskNumber", volume.diskNumber);
    json.String("driveLetter", std::string(1, volume.driveLetter));
    json.Unsigned("kind", volume.kind);
    json.Unsigned("tableSector", volume.tableSector);
    json.Unsigned("extendedStart", volume.extendedStart);
    json.String("fsName", volume.FsName());
    json.String("volumeLabel", volume.VolumeLabel());
    json.Unsigned("startSector", volume.startSector);
    json.Unsigned("sectorsPerCluster", volume.sectorsPerCluster);
    json.Unsigned("bytesPerSector", volume.bytesPerSector);
    json.Unsigned("freeBytes", volume.freeBytes);
    json.Unsigned("totalBytes", volume.totalBytes);
    json.Unsigned("typeCode", volume.typeCode);
    json.EndObject();
}

// Each volume's line starts with the index that --volume takes.
void PrintTree(const CDiskInventory& inventory) {
    auto volumeLine = [&](std::size_t index) {
        return "[" + std::to_string(index) + "] " + VolumeItemText(inventory.volumes[index]);
    };
    std::cout << kMyComputerText << '\n';
    for (const DiskInfo& disk : inventory.disks) {
        std::cout << "  " << DiskItemText(disk) << '\n';
        // Only a damaged table is worth a line of its own in the tree.
        if (const std::string note = inventory.PartitionTableNote(disk.diskNumber);
            note != "GPT" && !note.empty()) {
            std::cout << "    [" << note << "]\n";
        }
        for (std::size_t i = 0; i < inventory.volumes.size(); ++i) {
            if (inventory.volumes[i].diskNumber == disk.diskNumber)
                std::cout << "    " << volumeLine(i) << '\n';
        }
    }
    // Lettered volumes that no listed disk claims (their disk could not be told).
    for (std::size_t i = 0; i < inventory.volumes.size(); ++i) {
        if (inventory.volumes[i].diskNumber < 0) std::cout << "  " << volumeLine(i) << '\n';
    }
}

}  // namespace

int RunDisksCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options("lumacore-cli disks",
                         "Lists the disks and their volumes, partition-table entries and gaps; each volume's "
                         "index is what the other commands take as --volume.");
    options.Flag("--json", "every field of the disk and volume records as JSON")
        .Flag("--index", "kept for scripts that pass it: every volume's line starts with its --volume index")
        .Value("--disk", "N", "with --offset: the disk to read there (default 0)");
    AddOffsetOption(options);
    options
        .Example("lumacore-cli --no-devices --image disk.img disks --offset 2048 --index",
                 "also the volume at sector 2048, which no partition table names, with its index")
        .Example("lumacore-cli --no-devices --image disk.img disks", "the volumes of one image");
    if (auto parsed = options.Parse(arguments); !parsed) {
        std::cerr << "lumacore-cli disks: " << parsed.error().message << '\n';
        return kExitUsage;
    }
    if (PrintHelpIfAsked(options)) return kExitOk;
    if (!options.positional().empty()) {
        std::cerr << "lumacore-cli disks: unexpected argument '" << options.positional().front() << "'\n";
        return kExitUsage;
    }
    if (AdministratorRightsMissing(devices)) std::cerr << kAdministratorMessage << '\n';

    CDiskInventory inventory(devices);
    inventory.Refresh();
    if (auto added = AddOffsetVolume(inventory, devices, options); !added) {
        std::cerr << "lumacore-cli disks: " << added.error().message << '\n';
        return added.error().kind == ErrorKind::InvalidArgument ? kExitUsage : kExitFailure;
    }

    if (!options.Has("--json")) {
        // Every volume line starts with the index the other commands take as --volume.
        PrintTree(inventory);
        return kExitOk;
    }
    JsonWriter json;
    json.BeginObject();
    json.BeginArray("disks");
    for (const DiskInfo& disk : inventory.disks) WriteDisk(json, disk, inventory);
    json.EndArray();
    json.BeginArray("volumes");
    for (int i = 0; i < inventory.volumeCount(); ++i) WriteVolume(json, inventory.GetVolume(i), i);
    json.EndArray();
    json.EndObject();
    std::cout << json.text();
    return kExitOk;
}

}  // namespace lumacore
