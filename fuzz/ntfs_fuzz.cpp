// Fuzz target: an NTFS volume made of arbitrary bytes, read through the boot-sector check, the MFT
// load, the record parse (fix-ups, attribute walk, names, run lists, attribute lists), a whole
// deleted-file scan (streamed, checked against the MFT read whole) and a whole formatted-drive scan
// (record walk, sector search, records found outside the MFT), and the reading of every node they list.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engines/ntfs/ntfs_volume.h"

using namespace lumacore;

namespace {

// Reading is capped: a stream may claim terabytes of holes, which is legal but not worth the time here.
// A read that succeeds never hands back more than it was asked for.
void CheckRead(CNtfsVolume& volume, const NtfsFileNode& node) {
    constexpr std::uint64_t kCap = 1 << 20;
    const auto data = volume.ReadFileData(node, kCap);
    if (data && data->size() > kCap) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::byte> volume(size);
    if (size > 0) std::memcpy(volume.data(), data, size);

    // The record parse and the attribute-list decoder on every 1 KiB slice, whatever the boot sector says.
    for (std::size_t at = 0; at + 1024 <= volume.size(); at += 1024) {
        const auto slice = std::span<const std::byte>(volume).subspan(at, 1024);
        CMftRecord record;
        if (record.Parse(slice) == kNtfsOk) {
            record.ChosenName();
            for (const NtfsDataAttribute& d : record.data) DecodeRunList(d.mappingPairs, d.firstVcn, {});
        }
        ParseAttributeList(slice);
    }

    PartitionInfo partition;
    partition.driveLetter = 'C';
    partition.SetFsName("NTFS");
    ProgressFields progress;
    StopToken stop;
    CNtfsVolume formatted(std::make_unique<MemorySource>(volume), partition);
    NtfsResultTree formattedTree;
    formatted.FormattedDriveScan(formattedTree, FilterSettings{}, progress, stop);
    for (const auto& node : formatted.nodes()) CheckRead(formatted, *node);

    // The MFT read whole into memory is the reference the streamed scan must match, node for node.
    CNtfsVolume whole(std::make_unique<MemorySource>(volume), partition);
    NtfsResultTree wholeTree;
    const bool wholeOk = whole.DeletedFileScan(wholeTree, FilterSettings{}, progress, stop,
                                               CNtfsVolume::MftReading::WholeImage);

    CNtfsVolume engine(std::make_unique<MemorySource>(std::move(volume)), partition);
    NtfsResultTree tree;
    const bool ok = engine.DeletedFileScan(tree, FilterSettings{}, progress, stop);
    if (ok != wholeOk || engine.nodes().size() != whole.nodes().size()) __builtin_trap();
    for (std::size_t i = 0; i < engine.nodes().size(); ++i) {
        const NtfsFileNode& a = *engine.nodes()[i];
        const NtfsFileNode& b = *whole.nodes()[i];
        if (a.name != b.name || a.size != b.size || a.pathNames != b.pathNames ||
            a.pathRecords != b.pathRecords) {
            __builtin_trap();
        }
    }
    if (!ok) return 0;
    for (const auto& node : engine.nodes()) CheckRead(engine, *node);
    return 0;
}
