// Fuzz target: an exFAT volume made of arbitrary bytes. The first byte chooses whether the deleted-file
// scan also searches the free clusters; the rest is the volume, read through the boot region, the FAT,
// bitmap and up-case table, the entry-set rules on every slice, both scans and the reading of
// everything the deleted-file scan lists.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engines/exfat/exfat_directory_tail.h"
#include "engines/exfat/exfat_extractor.h"
#include "engines/exfat/exfat_upcase.h"
#include "engines/exfat/exfat_volume.h"

using namespace lumacore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool searchOrphans = (data[0] & 1) != 0;
    std::vector<std::byte> volume(size - 1);
    std::memcpy(volume.data(), data + 1, size - 1);

    const std::span<const std::byte> bytes(volume);
    for (std::size_t i = 0; i + kExfatEntrySize <= bytes.size() && i < 64 * 1024; i += kExfatEntrySize) {
        DecodeEntrySet(bytes.subspan(i, std::min<std::size_t>(bytes.size() - i, 19 * kExfatEntrySize)), 0);
    }
    for (std::size_t at = 0; at + 512 <= bytes.size() && at < 64 * 1024; at += 512) {
        const auto cluster = bytes.subspan(at, 512);
        LooksLikeExfatDirectory(cluster);
        std::optional<ExfatEntrySet> joined;
        ContinuesDirectory(TailOf(cluster), bytes.subspan(at + 512 <= bytes.size() - 512 ? at + 512 : 0, 512),
                           joined);
    }
    ExfatUpcaseTable::Decode(bytes.first(std::min<std::size_t>(bytes.size(), 8192))).NameHash(u"Fuzz.txt");

    PartitionInfo partition;
    partition.driveLetter = 'E';
    partition.SetFsName("exFAT");
    CExfatVolume engine(std::make_unique<MemorySource>(volume), partition);
    if (!engine.IsOpen()) return 0;
    engine.searchOrphanDirectories = searchOrphans;
    ExfatResultTree tree;
    ProgressFields progress;
    StopToken stop;
    engine.DeletedFileScan(tree, FilterSettings{}, progress, stop);
    const ExfatResultTree::ItemId root = engine.rootItem();
    ExfatResultTree formatted;
    engine.FormattedDriveScan(formatted, FilterSettings{}, progress, stop);

    auto extractor = ExfatExtractor::Open(std::make_unique<MemorySource>(std::move(volume)), partition);
    if (!extractor || root == ExfatResultTree::kNoItem) return 0;
    std::vector<std::byte> buffer(4096);
    tree.BreadthFirst(root, [&](ExfatResultTree::ItemId id) {
        for (const auto& node : tree.item(id).data) {
            // An error is a fair answer to hostile bytes; a read never claims more than the buffer holds.
            for (const std::uint64_t offset : {std::uint64_t{0}, node->size > 4096 ? node->size - 4096 : 0}) {
                const auto read = extractor->Read(*node, offset, buffer);
                if (read && *read > buffer.size()) __builtin_trap();
            }
        }
        return true;
    });
    return 0;
}
