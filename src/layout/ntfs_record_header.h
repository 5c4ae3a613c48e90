#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_reader.h"
#include "core/result.h"

namespace lumacore {

// The header of an MFT file record (NTFS 3.1); offsets from the start of the record.
namespace ntfs_record {
inline constexpr std::size_t kMagic = 0x00;  // "FILE"
inline constexpr std::size_t kUpdateSequenceOffset = 0x04;
inline constexpr std::size_t kUpdateSequenceCount = 0x06;
inline constexpr std::size_t kLogSequence = 0x08;
inline constexpr std::size_t kSequence = 0x10;
inline constexpr std::size_t kLinkCount = 0x12;
inline constexpr std::size_t kFirstAttribute = 0x14;
inline constexpr std::size_t kFlags = 0x16;
inline constexpr std::size_t kUsedSize = 0x18;
inline constexpr std::size_t kAllocatedSize = 0x1C;
inline constexpr std::size_t kBaseReference = 0x20;
inline constexpr std::size_t kNextAttributeId = 0x28;
inline constexpr std::size_t kRecordNumber = 0x2C;
inline constexpr std::size_t kHeaderSize = 0x30;
}  // namespace ntfs_record

// Record header flags.
inline constexpr std::uint16_t kNtfsRecordInUse = 0x0001;
inline constexpr std::uint16_t kNtfsRecordIsDirectory = 0x0002;
inline constexpr std::uint16_t kNtfsRecordIsViewIndex = 0x0008;

struct NtfsRecordHeader {
    std::uint16_t updateSequenceOffset = 0;
    std::uint16_t updateSequenceCount = 0;  // the check value and one word per 512 bytes
    std::uint64_t logSequence = 0;
    std::uint16_t sequence = 0;
    std::uint16_t linkCount = 0;
    std::uint16_t firstAttributeOffset = 0;
    std::uint16_t flags = 0;
    std::uint32_t usedSize = 0;
    std::uint32_t allocatedSize = 0;
    std::uint64_t baseReference = 0;  // non-zero in an extension record
    std::uint16_t nextAttributeId = 0;
    std::uint32_t recordNumber = 0;

    bool InUse() const { return (flags & kNtfsRecordInUse) != 0; }
    bool IsDirectory() const { return (flags & kNtfsRecordIsDirectory) != 0; }
    bool IsExtension() const { return baseReference != 0; }
};

// The magic alone, for scans that test every record-sized block of a disk before decoding any.
inline bool HasNtfsRecordMagic(std::span<const std::byte> record) {
    return ByteReader(record).matches(ntfs_record::kMagic, "FILE");
}

// The one rule every reader of a record header shares: "FILE" at offset 0 (Unsupported otherwise: an
// empty or foreign block) and the whole header present (Corrupt at the end of the bytes otherwise). The
// update sequence, attribute offset and sizes are read as they stand: a torn record is still worth
// reading, and each reader bounds its own walk.
Result<NtfsRecordHeader> DecodeNtfsRecordHeader(std::span<const std::byte> record);

}  // namespace lumacore
