// Fuzz target: EXT volumes and journals made of arbitrary bytes. The first byte picks what the rest is:
//   0 — an EXT2 volume (superblock, descriptors, bitmaps and inode tables: the inode scan);
//   1 — an EXT3/EXT4 volume, read by the journal engine;
//   2 — the live inode table (first 8 KiB) and the journal (the rest) of a fixed small EXT3 volume, so that
//       the journal walk, its tags, logged inode and directory blocks and the files they give are reached
//       even though a whole journalled volume never fits into one input.
// Everything found is mapped and read back, as a recovery would.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engines/ext/ext_block_map.h"
#include "engines/ext/ext_structures.h"
#include "engines/ext/ext_volume.h"

using namespace lumacore;

namespace {

constexpr std::size_t kBlock = 1024;
constexpr std::uint32_t kInodeTable = 5;
constexpr std::size_t kInodeTableBytes = 64 * 128;
constexpr std::uint32_t kJournalStart = 100;
// Files larger than this are only read at their head, so that one input cannot take minutes of zeros.
constexpr std::uint64_t kFullReadLimit = 1 << 20;

void Put(std::vector<std::byte>& v, std::size_t at, std::uint64_t value, int n) {
    for (int i = 0; i < n; ++i)
        v[at + static_cast<std::size_t>(i)] = std::byte{static_cast<std::uint8_t>(value >> (8 * i))};
}

// A one-group EXT3 volume whose journal (inode 8, one extent) holds `journal`. Its block size is the
// journal superblock's when that says 4 KiB (journals dumped from 4 KiB volumes), 1 KiB otherwise.
std::vector<std::byte> JournalVolume(const std::uint8_t* table, std::size_t tableBytes,
                                     const std::uint8_t* journal, std::size_t journalBytes) {
    const bool large =
        journalBytes >= 16 && journal[12] == 0 && journal[13] == 0 && journal[14] == 0x10 && journal[15] == 0;
    const std::size_t block = large ? 4096 : kBlock;
    const std::uint32_t journalBlocks = static_cast<std::uint32_t>((journalBytes + block - 1) / block);
    const std::uint32_t blocks = kJournalStart + std::max<std::uint32_t>(journalBlocks, 1) + 64;
    std::vector<std::byte> v(std::size_t{blocks} * block);
    const std::size_t sb = 1024;
    const std::size_t descriptors = large ? block : 2 * block;
    Put(v, sb + 0, 64, 4);
    Put(v, sb + 4, blocks, 4);
    Put(v, sb + 20, large ? 0 : 1, 4);
    Put(v, sb + 24, large ? 2 : 0, 4);
    Put(v, sb + 32, 8 * block, 4);
    Put(v, sb + 40, 64, 4);
    Put(v, sb + 0x38, kExtMagic, 2);
    Put(v, sb + 224, 8, 4);
    Put(v, descriptors + 0, 3, 4);
    Put(v, descriptors + 4, 4, 4);
    Put(v, descriptors + 8, kInodeTable, 4);
    std::memcpy(v.data() + kInodeTable * block, table, std::min(tableBytes, kInodeTableBytes));
    std::memcpy(v.data() + kJournalStart * block, journal, journalBytes);
    // Inode 8: the journal, after whatever the input put there.
    const std::size_t inode = kInodeTable * block + 7 * 128;
    std::fill(v.begin() + static_cast<std::ptrdiff_t>(inode),
              v.begin() + static_cast<std::ptrdiff_t>(inode + 128), std::byte{0});
    Put(v, inode + 0, 0100600, 2);
    Put(v, inode + 4, std::uint64_t{journalBlocks} * block, 4);
    Put(v, inode + 26, 1, 2);
    Put(v, inode + 32, kExtExtentsFlag, 4);
    Put(v, inode + 40, kExtentMagic, 2);
    Put(v, inode + 42, 1, 2);
    Put(v, inode + 44, 4, 2);
    Put(v, inode + 52, std::min<std::uint32_t>(journalBlocks, 32768), 2);
    Put(v, inode + 56, kJournalStart, 4);
    return v;
}

void ReadEverything(CExtVolume& engine) {
    ExtResultTree tree;
    ProgressFields progress;
    StopToken stop;
    ExtScanOptions options;
    options.now = 1800000000;  // fixed, so that a finding reproduces
    engine.Scan(tree, progress, stop, options);
    std::vector<std::byte> head(4096);
    for (const auto& node : engine.results()) {
        if (const auto read = engine.ReadInto(*node, head); read && *read > head.size()) __builtin_trap();
        auto map = engine.MapFile(*node);
        if (!map || map->size > kFullReadLimit) continue;
        std::uint64_t total = 0;
        // Only crashes and overruns count here: an error is a fair answer to hostile bytes.
        (void)engine.Extract(
            *map,
            [&](std::span<const std::byte> data) -> Result<void> {
                total += data.size();
                return {};
            },
            stop);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0] % 3;
    ++data;
    --size;

    if (mode == 2) {
        const std::size_t tableBytes = std::min<std::size_t>(size, kInodeTableBytes);
        auto volume = JournalVolume(data, tableBytes, data + tableBytes, size - tableBytes);
        PartitionInfo partition;
        partition.SetFsName("EXT3");
        CExt3Volume engine(std::make_unique<MemorySource>(std::move(volume)), partition);
        if (engine.IsOpen()) ReadEverything(engine);
        return 0;
    }

    std::vector<std::byte> bytes(size);
    std::memcpy(bytes.data(), data, size);
    // The parsers on their own, over every block-sized slice.
    if (auto sb = ParseExtSuperblock(
            std::span<const std::byte>(bytes).subspan(std::min<std::size_t>(1024, size)))) {
        for (std::size_t at = 0; at + 128 <= size; at += 128)
            ParseExtInode(std::span<const std::byte>(bytes).subspan(at, 128), *sb);
    }
    JournalSuperblock journal;
    journal.blockType = kJournalSuperblockV2;
    journal.featureIncompat = data[size - 1];
    for (std::size_t at = 0; at + kBlock <= size; at += kBlock) {
        const auto block = std::span<const std::byte>(bytes).subspan(at, kBlock);
        (void)ParseJournalSuperblock(block);
        ParseDescriptorTags(block, journal);
        ForEachFirstBlockEntry(block, [](std::uint32_t, std::uint8_t, std::string_view) {});
    }

    PartitionInfo partition;
    partition.SetFsName(mode == 0 ? "EXT2" : "EXT3");
    auto engine = MakeExtVolume(std::make_unique<MemorySource>(std::move(bytes)), partition);
    if (engine->IsOpen()) ReadEverything(*engine);
    return 0;
}
