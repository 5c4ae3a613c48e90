#include "layout/ntfs_record_header.h"

#include "layout/layout_error.h"

namespace lumacore {

Result<NtfsRecordHeader> DecodeNtfsRecordHeader(std::span<const std::byte> record) {
    using namespace ntfs_record;
    if (!HasNtfsRecordMagic(record)) return NotThisLayout("no FILE magic", kMagic);
    const ByteReader r(record);
    if (!r.has(0, kHeaderSize)) return Error::Corrupt("MFT record cut short", record.size());
    NtfsRecordHeader h;
    h.updateSequenceOffset = r.u16le(kUpdateSequenceOffset);
    h.updateSequenceCount = r.u16le(kUpdateSequenceCount);
    h.logSequence = r.u64le(kLogSequence);
    h.sequence = r.u16le(kSequence);
    h.linkCount = r.u16le(kLinkCount);
    h.firstAttributeOffset = r.u16le(kFirstAttribute);
    h.flags = r.u16le(kFlags);
    h.usedSize = r.u32le(kUsedSize);
    h.allocatedSize = r.u32le(kAllocatedSize);
    h.baseReference = r.u64le(kBaseReference);
    h.nextAttributeId = r.u16le(kNextAttributeId);
    h.recordNumber = r.u32le(kRecordNumber);
    return h;
}

}  // namespace lumacore
