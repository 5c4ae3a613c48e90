#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_reader.h"
#include "core/result.h"
#include "layout/ext_group_descriptor.h"
#include "layout/ext_superblock.h"

namespace lumacore {

// On-disk structures of EXT2, EXT3 and EXT4 volumes and of their JBD/JBD2 journal, decoded field by
// field from untrusted bytes. Nothing here reads a device: the engine hands in the bytes.

// Inode flags.
inline constexpr std::uint32_t kExtHugeFileFlag = 0x40000;
inline constexpr std::uint32_t kExtExtentsFlag = 0x80000;
inline constexpr std::uint32_t kExtInlineDataFlag = 0x10000000;

// The block pointers or extent tree root within an inode's first 128 bytes (kExtGoodOldInodeSize, the
// part every revision has; larger inodes only add fields the engine does not need).
inline constexpr std::size_t kExtBlockAreaOffset = 40;
inline constexpr std::size_t kExtBlockAreaSize = 60;
inline constexpr int kExtDirectPointers = 12;

// The largest group count a volume may claim. 2^20 groups of 32768 blocks is 128 TiB with 4 KiB
// blocks; the decoded table then takes about 32 MiB, which is as much as we are willing to spend on it.
inline constexpr std::uint64_t kExtMaxGroupCount = std::uint64_t{1} << 20;

// The superblock as the engine reads the volume with it: the decoded fields, checked for everything the
// engine computes with, and the number of block groups.
struct ExtSuperblock : ExtSuperblockFields {
    std::uint32_t groupCount = 0;
};

// The layout decoder (DecodeExtSuperblock), then the engine's own rules: inode and descriptor sizes,
// blocks and inodes per group, block and inode counts. A superblock that fails is not an EXT volume the
// engine can read; the error names the field's offset.
Result<ExtSuperblock> ParseExtSuperblock(std::span<const std::byte> bytes);

struct ExtInode {
    std::uint16_t mode = 0;
    std::uint16_t linksCount = 0;
    std::uint64_t size = 0;
    std::uint32_t atime = 0;
    std::uint32_t ctime = 0;
    std::uint32_t mtime = 0;
    std::uint32_t dtime = 0;
    std::uint64_t blocks = 0;  // 512-byte units (fs blocks for huge files, see AllocatedBlocks)
    std::uint32_t flags = 0;
    std::uint32_t generation = 0;
    std::array<std::byte, kExtBlockAreaSize> blockArea{};

    bool IsRegularFile() const { return (mode & 0xF000) == 0x8000; }
    bool UsesExtents() const { return (flags & kExtExtentsFlag) != 0; }
    bool HasInlineData() const { return (flags & kExtInlineDataFlag) != 0; }
    std::uint32_t BlockPointer(int index) const;
    // In use by a file the volume still knows: linked, not deleted, with a type.
    bool InUse() const { return mode != 0 && linksCount != 0 && dtime == 0; }
    // Volume blocks the inode says it holds (data and metadata).
    std::uint64_t AllocatedBlocks(const ExtSuperblock& sb) const;
};

// Decodes the first 128 bytes; missing bytes read as zero.
ExtInode ParseExtInode(std::span<const std::byte> bytes, const ExtSuperblock& sb);

// Extent tree node header (the inode's block area or the start of an index or leaf block).
inline constexpr std::uint16_t kExtentMagic = 0xF30A;
inline constexpr std::size_t kExtentEntrySize = 12;
// The kernel never builds a tree deeper than 5 levels (EXT4_MAX_EXTENT_DEPTH).
inline constexpr std::uint16_t kExtMaxExtentDepth = 5;

struct ExtentHeader {
    std::uint16_t magic = 0;
    std::uint16_t entries = 0;
    std::uint16_t max = 0;
    std::uint16_t depth = 0;
};

ExtentHeader ParseExtentHeader(const ByteReader& node);
// A header that can be trusted over a node of `nodeBytes` bytes: the magic, entries within max, max
// within what the node holds, depth within the kernel's limit.
bool IsValidExtentHeader(const ExtentHeader& h, std::size_t nodeBytes);

// JBD / JBD2 journal.
inline constexpr std::uint32_t kJournalMagic = 0xC03B3998;
enum JournalBlockType : std::uint32_t {
    kJournalDescriptor = 1,
    kJournalCommit = 2,
    kJournalSuperblockV1 = 3,
    kJournalSuperblockV2 = 4,
    kJournalRevoke = 5,
};
inline constexpr std::uint32_t kJournalTagEscape = 1;
inline constexpr std::uint32_t kJournalTagSameUuid = 2;
inline constexpr std::uint32_t kJournalTagLast = 8;

struct JournalSuperblock {
    std::uint32_t blockType = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t maxLength = 0;
    std::uint32_t first = 0;
    std::uint32_t featureIncompat = 0;

    bool has64Bit() const { return blockType == kJournalSuperblockV2 && (featureIncompat & 0x2) != 0; }
    bool hasChecksumV2() const { return blockType == kJournalSuperblockV2 && (featureIncompat & 0x8) != 0; }
    bool hasChecksumV3() const { return blockType == kJournalSuperblockV2 && (featureIncompat & 0x10) != 0; }
    // Bytes of one descriptor tag, not counting the 16-byte identifier that may follow it.
    std::size_t TagBytes() const;
    // Checksummed journals end every descriptor block with a 4-byte tail that holds no tag.
    std::size_t DescriptorTailBytes() const { return hasChecksumV2() || hasChecksumV3() ? 4 : 0; }
};

// The journal's first block: the magic and a superblock type, or an error.
Result<JournalSuperblock> ParseJournalSuperblock(std::span<const std::byte> block);

struct JournalHeader {
    std::uint32_t type = 0;
    std::uint32_t sequence = 0;
};
// True (and the header) when the block starts with the journal magic.
bool ReadJournalHeader(std::span<const std::byte> block, JournalHeader& header);

struct JournalTag {
    std::uint64_t block = 0;
    std::uint32_t flags = 0;
};
// The tags of a descriptor block in order. All-zero tags are skipped; reading stops after the tag
// flagged last, at the block's end, or before the checksum tail. At most one tag per 8 bytes.
std::vector<JournalTag> ParseDescriptorTags(std::span<const std::byte> block,
                                            const JournalSuperblock& journal);

// Directory entries of the first block of a directory: the block starts with "." and ".." entries of
// 12 bytes each. `visit` gets (inode, file type, name) of every other entry whose type says file,
// directory or character device (file_type & 3), walking rec_len from offset 24.
bool LooksLikeFirstDirectoryBlock(std::span<const std::byte> block);
void ForEachFirstBlockEntry(std::span<const std::byte> block,
                            const std::function<void(std::uint32_t, std::uint8_t, std::string_view)>& visit);

// Any directory block (a later block of a large directory, an htree leaf): true, and `visit` gets the
// named entries, only when the entries tile the block exactly and every one of them is sound (record
// lengths in 4-byte steps that hold their names, known file types, inode numbers the volume has, names
// without "/" or NUL). Random data and other metadata practically never pass.
bool ForEachDirectoryBlockEntry(
    std::span<const std::byte> block, std::uint32_t inodesCount,
    const std::function<void(std::uint32_t, std::uint8_t, std::string_view)>& visit);

}  // namespace lumacore
