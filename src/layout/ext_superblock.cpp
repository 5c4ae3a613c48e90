#include "layout/ext_superblock.h"

#include "core/byte_reader.h"
#include "layout/layout_error.h"

namespace lumacore {

namespace {

bool IsPowerOf3Or5Or7(std::uint32_t n) {
    for (std::uint32_t base : {3u, 5u, 7u}) {
        std::uint64_t p = base;
        while (p < n) p *= base;
        if (p == n) return true;
    }
    return false;
}

}  // namespace

bool ExtSuperblockFields::GroupHasSuperblock(std::uint32_t group) const {
    if (group <= 1 || (featureRoCompat & kExtRoCompatSparseSuper) == 0) return true;
    return IsPowerOf3Or5Or7(group);
}

Result<ExtSuperblockFields> DecodeExtSuperblock(std::span<const std::byte> superblock) {
    using namespace ext_sb;
    const ByteReader r(superblock);
    if (!r.has(0, kExtSuperblockSize)) return Error::Corrupt("short EXT superblock", superblock.size());
    if (r.u16le(kMagic) != kExtMagic) return NotThisLayout("no EXT magic", kMagic);
    ExtSuperblockFields sb;
    sb.logBlockSize = r.u32le(kLogBlockSize);
    if (sb.logBlockSize > kExtMaxLogBlockSize)
        return Error::Corrupt("EXT block size out of range", kLogBlockSize);
    sb.blockSize = 1024u << sb.logBlockSize;
    sb.inodesCount = r.u32le(kInodesCount);
    sb.blocksCount = r.u32le(kBlocksCountLo);
    sb.freeBlocksCount = r.u32le(kFreeBlocksCountLo);
    sb.firstDataBlock = r.u32le(kFirstDataBlock);
    sb.blocksPerGroup = r.u32le(kBlocksPerGroup);
    sb.inodesPerGroup = r.u32le(kInodesPerGroup);
    sb.blockGroupNumber = r.u16le(kBlockGroupNumber);
    sb.revision = r.u32le(kRevision);
    sb.featureCompat = r.u32le(kFeatureCompat);
    sb.featureIncompat = r.u32le(kFeatureIncompat);
    sb.featureRoCompat = r.u32le(kFeatureRoCompat);
    sb.label = r.zstring(kVolumeName, kVolumeNameLength);
    sb.reservedGdtBlocks = r.u16le(kReservedGdtBlocks);
    sb.journalInode = r.u32le(kJournalInode);
    sb.firstMetaBg = r.u32le(kFirstMetaBg);
    if (sb.revision >= 1) sb.inodeSize = r.u16le(kInodeSize);
    if (sb.is64Bit()) {
        sb.blocksCount |= std::uint64_t{r.u32le(kBlocksCountHi)} << 32;
        sb.freeBlocksCount |= std::uint64_t{r.u32le(kFreeBlocksCountHi)} << 32;
        sb.descriptorSize = r.u16le(kDescriptorSize);
    }
    return sb;
}

}  // namespace lumacore
