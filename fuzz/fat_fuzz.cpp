// Fuzz target: a FAT volume made of arbitrary bytes. The first byte picks the engine (FAT16 or FAT32);
// the rest is the volume, read through the boot-sector parse, the directory-entry rules, a whole
// deleted-file scan (its orphan sweep forced on by the first byte's second bit), a formatted-drive scan
// and the extraction of everything the first lists, along the cluster runs planned for it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engines/fat/fat_directory_entry.h"
#include "engines/fat/fat_extractor.h"
#include "engines/fat/fat_volume.h"

using namespace lumacore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool fat32 = (data[0] & 1) != 0;
    std::vector<std::byte> volume(size - 1);
    std::memcpy(volume.data(), data + 1, size - 1);

    // The entry rules on every 32-byte slice, against a geometry when the boot sector gives one.
    if (auto geometry = ParseFatBootSector(volume, fat32, false)) {
        for (std::size_t i = 0; i + kDirEntrySize <= volume.size(); i += kDirEntrySize) {
            const FatDirEntry entry = EntryAt(volume, i / kDirEntrySize);
            BuildShortName(entry);
            IsPlausibleEntry(entry, *geometry, entry.isDirectory(), false, 2026);
        }
        for (std::size_t at = 0; at + geometry->bytesPerSector <= volume.size(); at += geometry->bytesPerSector) {
            IsDirectorySector(std::span<const std::byte>(volume).subspan(at, geometry->bytesPerSector), *geometry, 2026);
        }
    }

    PartitionInfo partition;
    partition.driveLetter = 'C';
    partition.SetFsName(fat32 ? "FAT32" : "FAT");
    auto engine = MakeFatVolume(std::make_unique<MemorySource>(volume), partition);
    if (!engine->IsOpen()) return 0;
    FatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    // The orphan sweep runs on every input, not only those whose walk meets a deleted folder.
    engine->orphanSweep = (data[0] & 2) != 0 ? CFatVolume::OrphanSweep::Always : CFatVolume::OrphanSweep::WhenDeletedFolders;
    engine->DeletedFileScan(tree, FilterSettings{}, progress, stop);
    FatResultTree formatted;
    engine->FormattedDriveScan(formatted, FilterSettings{}, progress, stop);
    auto extractor = FatExtractor::Open(std::make_unique<MemorySource>(std::move(volume)), partition);
    if (!extractor || engine->rootItem() == FatResultTree::kNoItem) return 0;
    std::vector<std::byte> buffer(4096);
    tree.BreadthFirst(engine->rootItem(), [&](FatResultTree::ItemId id) {
        // An error is a fair answer to hostile bytes; a read never claims more than the buffer holds.
        for (const auto& node : tree.item(id).data) {
            const auto read = extractor->Read(*node, 0, buffer);
            if (read && *read > buffer.size()) __builtin_trap();
        }
        return true;
    });
    return 0;
}
