#include "layout/ext_group_descriptor.h"

#include "core/byte_reader.h"

namespace lumacore {

Result<ExtGroupDescriptor> DecodeExtGroupDescriptor(std::span<const std::byte> descriptor, bool wide) {
    using namespace ext_gd;
    const ByteReader r(descriptor);
    if (!r.has(0, wide ? kWideSize : kNarrowSize)) {
        return Error::Corrupt("EXT group descriptor cut short", descriptor.size());
    }
    ExtGroupDescriptor d;
    d.blockBitmap = r.u32le(kBlockBitmapLo);
    d.inodeBitmap = r.u32le(kInodeBitmapLo);
    d.inodeTable = r.u32le(kInodeTableLo);
    d.flags = r.u16le(kFlags);
    d.unusedInodes = r.u16le(kUnusedInodesLo);
    if (wide) {
        d.blockBitmap |= std::uint64_t{r.u32le(kBlockBitmapHi)} << 32;
        d.inodeBitmap |= std::uint64_t{r.u32le(kInodeBitmapHi)} << 32;
        d.inodeTable |= std::uint64_t{r.u32le(kInodeTableHi)} << 32;
        d.unusedInodes |= std::uint32_t{r.u16le(kUnusedInodesHi)} << 16;
    }
    return d;
}

}  // namespace lumacore
