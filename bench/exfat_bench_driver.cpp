// Times the exFAT engine on one volume of an image: the deleted-file scan (or the formatted-drive
// scan), then (with an output folder) the recovery of everything it found through the recovered-file
// writer, the way the programs do it. Used by bench/exfat_run_bench.sh.
// Usage: exfat_bench_driver IMAGE START_SECTOR deleted|formatted [OUTPUT_FOLDER]
#include <chrono>
#include <iostream>
#include <map>

#include "engines/exfat/exfat_extractor.h"
#include "engines/exfat/exfat_volume.h"
#include "platform/device.h"
#include "recovery/recovered_file_writer.h"

using namespace lumacore;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: exfat_bench_driver IMAGE START_SECTOR deleted|formatted [OUTPUT_FOLDER]\n";
        return 2;
    }
    PartitionInfo partition;
    partition.startSector = static_cast<std::uint32_t>(std::stoul(argv[2]));
    partition.driveLetter = 'E';
    partition.SetFsName("exFAT");
    auto device = Device::Open(argv[1], AccessMode::ReadOnly);
    if (!device) {
        std::cerr << device.error().message << '\n';
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();
    CExfatVolume volume(std::move(*device), partition);
    if (!volume.IsOpen()) {
        std::cerr << volume.openError().message << '\n';
        return 1;
    }
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    const bool ok = std::string(argv[3]) == "formatted"
                        ? volume.FormattedDriveScan(tree, FilterSettings{}, progress, stop)
                        : volume.DeletedFileScan(tree, FilterSettings{}, progress, stop);
    std::uint64_t files = 0;
    tree.BreadthFirst(volume.rootItem(), [&](ExfatResultTree::ItemId id) {
        files += tree.item(id).data.size();
        return true;
    });
    const auto scanned = std::chrono::steady_clock::now();
    std::cout << "scan: " << files << " files, " << (ok ? "completed" : "failed") << ", "
              << std::chrono::duration<double>(scanned - started).count() << " s\n";
    if (argc < 5) return 0;

    auto source = Device::Open(argv[1], AccessMode::ReadOnly);
    if (!source) {
        std::cerr << source.error().message << '\n';
        return 1;
    }
    auto extractor = ExfatExtractor::Open(std::move(*source), partition);
    if (!extractor) {
        std::cerr << extractor.error().message << '\n';
        return 1;
    }
    RecoveredFileWriter writer(argv[4], OverwritePolicy::Always, nullptr, {});
    std::map<ExfatResultTree::ItemId, std::filesystem::path> folders{
        {volume.rootItem(), writer.destinationRoot()}};
    std::uint64_t written = 0, failed = 0;
    tree.BreadthFirst(volume.rootItem(), [&](ExfatResultTree::ItemId id) {
        const auto& item = tree.item(id);
        if (id != volume.rootItem()) {
            auto made = writer.EnsureFolder(folders.at(item.parent), item.text);
            if (!made) return false;
            folders[id] = *made;
        }
        for (const auto& node : item.data) {
            const auto outcome =
                writer.WriteFile(folders.at(id), node->displayName, node->size, [&](OutputFile& out) -> Result<void> {
                    return extractor->Copy(
                        *node, [&](std::span<const std::byte> bytes) -> Result<void> { return out.Write(bytes); });
                });
            (outcome == RecoveredFileWriter::Outcome::Written ? written : failed) += 1;
        }
        return true;
    });
    const auto recovered = std::chrono::steady_clock::now();
    std::cout << "recover: " << written << " files, " << failed << " failed, "
              << std::chrono::duration<double>(recovered - scanned).count() << " s\n";
    return 0;
}
