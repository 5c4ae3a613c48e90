#include "engines/ext/ext_structures.h"

#include <bit>

namespace lumacore {

namespace {

// A 64-bit descriptor is at least 64 bytes and never larger than a 1 KiB block can hold.
constexpr std::uint32_t kMinWideDescriptorSize = 64;
constexpr std::uint32_t kMaxDescriptorSize = 1024;

}  // namespace

Result<ExtSuperblock> ParseExtSuperblock(std::span<const std::byte> bytes) {
    auto decoded = DecodeExtSuperblock(bytes);
    if (!decoded) return decoded.error();
    ExtSuperblock sb;
    static_cast<ExtSuperblockFields&>(sb) = std::move(*decoded);
    if (sb.is64Bit() && (sb.descriptorSize < kMinWideDescriptorSize ||
                         sb.descriptorSize > kMaxDescriptorSize || !std::has_single_bit(sb.descriptorSize))) {
        return Error::Corrupt("EXT group descriptor size out of range", ext_sb::kDescriptorSize);
    }
    if (sb.inodeSize < kExtGoodOldInodeSize || sb.inodeSize > sb.blockSize ||
        !std::has_single_bit(sb.inodeSize)) {
        return Error::Corrupt("EXT inode size out of range", ext_sb::kInodeSize);
    }
    // A group's bitmaps are one block each, so a group never has more blocks or inodes than a block has bits.
    const std::uint64_t bitsPerBlock = std::uint64_t{sb.blockSize} * 8;
    if (sb.blocksPerGroup == 0 || sb.blocksPerGroup > bitsPerBlock)
        return Error::Corrupt("EXT blocks per group out of range", ext_sb::kBlocksPerGroup);
    if (sb.inodesPerGroup == 0 || sb.inodesPerGroup > bitsPerBlock)
        return Error::Corrupt("EXT inodes per group out of range", ext_sb::kInodesPerGroup);
    if (sb.firstDataBlock > 1) return Error::Corrupt("EXT block count out of range", ext_sb::kFirstDataBlock);
    if (sb.blocksCount <= sb.firstDataBlock)
        return Error::Corrupt("EXT block count out of range", ext_sb::kBlocksCountLo);
    const std::uint64_t groups = (sb.blocksCount - sb.firstDataBlock - 1) / sb.blocksPerGroup + 1;
    if (groups > kExtMaxGroupCount)
        return Error::Corrupt("EXT volume claims too many groups", ext_sb::kBlocksCountLo);
    sb.groupCount = static_cast<std::uint32_t>(groups);
    // Inode numbers beyond the groups' tables name nothing.
    const std::uint64_t tableInodes = groups * sb.inodesPerGroup;
    if (sb.inodesCount == 0 || sb.inodesCount > tableInodes)
        return Error::Corrupt("EXT inode count out of range", ext_sb::kInodesCount);
    return sb;
}

std::uint32_t ExtInode::BlockPointer(int index) const {
    return ByteReader(blockArea).u32le(static_cast<std::size_t>(index) * 4);
}

std::uint64_t ExtInode::AllocatedBlocks(const ExtSuperblock& sb) const {
    if ((sb.featureRoCompat & kExtRoCompatHugeFile) != 0 && (flags & kExtHugeFileFlag) != 0) return blocks;
    return blocks / (sb.blockSize / 512);
}

ExtInode ParseExtInode(std::span<const std::byte> bytes, const ExtSuperblock& sb) {
    const ByteReader r(bytes);
    ExtInode inode;
    inode.mode = r.u16le(0);
    inode.size = r.u32le(4);
    inode.atime = r.u32le(8);
    inode.ctime = r.u32le(12);
    inode.mtime = r.u32le(16);
    inode.dtime = r.u32le(20);
    inode.linksCount = r.u16le(26);
    inode.blocks = r.u32le(28);
    inode.flags = r.u32le(32);
    inode.generation = r.u32le(100);
    // The high size word of a regular file (the directory ACL block on other inodes).
    if (inode.IsRegularFile()) inode.size |= std::uint64_t{r.u32le(108)} << 32;
    if ((sb.featureRoCompat & kExtRoCompatHugeFile) != 0) inode.blocks |= std::uint64_t{r.u16le(116)} << 32;
    const ByteReader area = r.sub(kExtBlockAreaOffset, kExtBlockAreaSize);
    if (area.size() == kExtBlockAreaSize) {
        for (std::size_t i = 0; i < kExtBlockAreaSize; ++i) inode.blockArea[i] = area.bytes()[i];
    }
    return inode;
}

ExtentHeader ParseExtentHeader(const ByteReader& node) {
    return ExtentHeader{node.u16le(0), node.u16le(2), node.u16le(4), node.u16le(6)};
}

bool IsValidExtentHeader(const ExtentHeader& h, std::size_t nodeBytes) {
    if (h.magic != kExtentMagic || h.depth > kExtMaxExtentDepth || nodeBytes < kExtentEntrySize) return false;
    const std::size_t capacity = (nodeBytes - kExtentEntrySize) / kExtentEntrySize;
    return h.max != 0 && h.max <= capacity && h.entries <= h.max;
}

std::size_t JournalSuperblock::TagBytes() const {
    if (hasChecksumV3()) return 16;
    std::size_t bytes = 8;
    if (has64Bit()) bytes += 4;
    if (hasChecksumV2()) bytes += 2;
    return bytes;
}

Result<JournalSuperblock> ParseJournalSuperblock(std::span<const std::byte> block) {
    const ByteReader r(block);
    if (!r.has(0, 48)) return Error::Corrupt("short journal superblock");
    JournalSuperblock j;
    j.blockType = r.u32be(4);
    if (r.u32be(0) != kJournalMagic ||
        (j.blockType != kJournalSuperblockV1 && j.blockType != kJournalSuperblockV2)) {
        return Error::Corrupt("no journal superblock");
    }
    j.blockSize = r.u32be(12);
    j.maxLength = r.u32be(16);
    j.first = r.u32be(20);
    if (j.blockType == kJournalSuperblockV2) j.featureIncompat = r.u32be(40);
    return j;
}

bool ReadJournalHeader(std::span<const std::byte> block, JournalHeader& header) {
    const ByteReader r(block);
    if (!r.has(0, 12) || r.u32be(0) != kJournalMagic) return false;
    header.type = r.u32be(4);
    header.sequence = r.u32be(8);
    return true;
}

std::vector<JournalTag> ParseDescriptorTags(std::span<const std::byte> block,
                                            const JournalSuperblock& journal) {
    std::vector<JournalTag> tags;
    const ByteReader r(block);
    const std::size_t tagBytes = journal.TagBytes();
    const std::size_t tail = journal.DescriptorTailBytes();
    if (r.size() < tail) return tags;
    const std::size_t end = r.size() - tail;
    for (std::size_t at = 12; at <= end && tagBytes <= end - at;) {
        JournalTag tag;
        tag.block = r.u32be(at);
        // Old journals have a 32-bit flags word; JBD2 without checksum v3 puts a 16-bit checksum before
        // 16-bit flags, so the low half of the same word is the flags in every layout but v3.
        tag.flags = journal.hasChecksumV3() ? r.u32be(at + 4) : r.u16be(at + 6);
        if (journal.has64Bit()) tag.block |= std::uint64_t{r.u32be(at + 8)} << 32;
        const bool empty = r.u32be(at) == 0 && r.u32be(at + 4) == 0;
        at += tagBytes;
        if (empty) continue;
        tags.push_back(tag);
        if ((tag.flags & kJournalTagLast) != 0) break;
        if ((tag.flags & kJournalTagSameUuid) == 0) at += 16;
    }
    return tags;
}

bool LooksLikeFirstDirectoryBlock(std::span<const std::byte> block) {
    const ByteReader r(block);
    return r.has(0, 24) && r.u32le(4) == 0x0201000C && r.u32le(8) == 0x0000002E &&
           r.u32le(16) == 0x0202000C && r.u32le(20) == 0x00002E2E;
}

void ForEachFirstBlockEntry(std::span<const std::byte> block,
                            const std::function<void(std::uint32_t, std::uint8_t, std::string_view)>& visit) {
    const ByteReader r(block);
    for (std::size_t at = 24; at < r.size();) {
        if (!r.has(at, 8)) break;
        const std::uint32_t inode = r.u32le(at);
        const std::uint16_t recLen = r.u16le(at + 4);
        const std::uint8_t nameLen = r.u8(at + 6);
        const std::uint8_t fileType = r.u8(at + 7);
        if (recLen == 0 || !r.has(at + 8, nameLen)) break;
        const std::string_view name(reinterpret_cast<const char*>(block.data() + at + 8), nameLen);
        if ((fileType & 3) != 0 && name != "." && name != "..") visit(inode, fileType, name);
        at += recLen;
    }
}

bool ForEachDirectoryBlockEntry(
    std::span<const std::byte> block, std::uint32_t inodesCount,
    const std::function<void(std::uint32_t, std::uint8_t, std::string_view)>& visit) {
    const ByteReader r(block);
    // The smallest entry: 8 bytes of header and a name of at least one byte, in 4-byte steps.
    constexpr std::size_t kMinEntry = 12;
    // File types run from 1 (regular file) to 7 (symbolic link); 0xDE marks the checksum tail entry.
    constexpr std::uint8_t kMaxFileType = 7;
    constexpr std::uint8_t kTailType = 0xDE;
    bool named = false;
    std::size_t at = 0;
    while (at < r.size()) {
        if (!r.has(at, 8)) return false;
        const std::uint32_t inode = r.u32le(at);
        const std::uint16_t recLen = r.u16le(at + 4);
        const std::uint8_t nameLen = r.u8(at + 6);
        const std::uint8_t fileType = r.u8(at + 7);
        if (recLen < kMinEntry || recLen % 4 != 0 || recLen > r.size() - at) return false;
        if (std::size_t{nameLen} + 8 > recLen || inode > inodesCount) return false;
        const bool tail = inode == 0 && nameLen == 0 && fileType == kTailType && recLen == kMinEntry;
        if (!tail && fileType > kMaxFileType) return false;
        if (inode != 0) {
            if (nameLen == 0) return false;
            for (std::size_t i = 0; i < nameLen; ++i) {
                const auto c = r.u8(at + 8 + i);
                if (c == 0 || c == '/') return false;
            }
            named = true;
        }
        at += recLen;
    }
    if (!named || at != r.size()) return false;
    for (at = 0; at < r.size();) {
        const std::uint32_t inode = r.u32le(at);
        const std::uint16_t recLen = r.u16le(at + 4);
        const std::uint8_t nameLen = r.u8(at + 6);
        const std::string_view name(reinterpret_cast<const char*>(block.data() + at + 8), nameLen);
        if (inode != 0 && name != "." && name != "..") visit(inode, r.u8(at + 7), name);
        at += recLen;
    }
    return true;
}

}  // namespace lumacore
