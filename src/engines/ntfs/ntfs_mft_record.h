#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumacore {

inline constexpr std::uint32_t kAttrStandardInformation = 0x10;
inline constexpr std::uint32_t kAttrAttributeList = 0x20;
inline constexpr std::uint32_t kAttrFileName = 0x30;
inline constexpr std::uint32_t kAttrData = 0x80;
inline constexpr std::uint32_t kAttrIndexAllocation = 0xA0;
inline constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

// $DATA attribute flags.
inline constexpr std::uint16_t kDataCompressed = 0x0001;
inline constexpr std::uint16_t kDataEncrypted = 0x4000;
inline constexpr std::uint16_t kDataSparse = 0x8000;

// The record number and sequence number packed in a file reference.
inline std::uint64_t ReferenceRecord(std::uint64_t reference) {
    return reference & 0x0000FFFFFFFFFFFFull;
}
inline std::uint16_t ReferenceSequence(std::uint64_t reference) {
    return static_cast<std::uint16_t>(reference >> 48);
}

struct NtfsFileName {
    std::uint64_t parentReference = 0;
    std::uint32_t flags = 0;
    std::uint8_t nameSpace = 0;  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    std::u16string name;
};

// One $DATA attribute of a record: a whole stream, or one extent of a stream spread over records.
// The spans point into the parsed record and live as long as the CMftRecord.
struct NtfsDataAttribute {
    std::u16string name;  // stream name; empty for the unnamed stream
    std::uint16_t attributeId = 0;
    std::uint16_t flags = 0;
    bool resident = false;
    std::span<const std::byte> value;  // resident value
    std::uint64_t firstVcn = 0;
    std::uint64_t lastVcn = 0;
    std::uint8_t compressionUnitShift = 0;
    std::uint64_t allocatedSize = 0;
    std::uint64_t dataSize = 0;
    std::uint64_t initializedSize = 0;
    std::span<const std::byte> mappingPairs;  // run list
};

// One entry of an $ATTRIBUTE_LIST value.
struct NtfsAttributeListEntry {
    std::uint32_t type = 0;
    std::u16string name;
    std::uint64_t firstVcn = 0;
    std::uint64_t reference = 0;  // the record holding the attribute
    std::uint16_t attributeId = 0;
};

// Decodes an $ATTRIBUTE_LIST value; stops at the first entry that does not fit.
std::vector<NtfsAttributeListEntry> ParseAttributeList(std::span<const std::byte> value);

// Parses one MFT record into the facts the engine uses. It keeps its own copy of the record with
// the update-sequence fix-ups applied (when the array is consistent; otherwise the bytes stay as
// read, as a torn record is still better than none).
class CMftRecord {
  public:
    // The attribute spans point into the record's own copy: a copy would leave them pointing into
    // the original, a move keeps the buffer.
    CMftRecord() = default;
    CMftRecord(const CMftRecord&) = delete;
    CMftRecord& operator=(const CMftRecord&) = delete;
    CMftRecord(CMftRecord&&) = default;
    CMftRecord& operator=(CMftRecord&&) = default;

    // Full parse: header, $STANDARD_INFORMATION, every $FILE_NAME, $DATA, $ATTRIBUTE_LIST and the
    // folder index's $INDEX_ALLOCATION.
    // kNtfsOk, or kNtfsBadParameter for a record that is empty, too short or not "FILE".
    int Parse(std::span<const std::byte> record);
    // Name-only parse: the header and the $FILE_NAME attributes.
    int ParseNames(std::span<const std::byte> record);

    bool inUse = false;
    bool fixupsApplied = false;
    std::uint16_t sequence = 0;
    std::uint64_t baseReference = 0;  // non-zero in an extension record

    bool hasStandardInformation = false;
    std::uint64_t creationTime = 0;
    std::uint64_t modificationTime = 0;
    std::uint64_t mftChangeTime = 0;
    std::uint64_t accessTime = 0;
    std::uint32_t fileAttributes = 0;

    std::vector<NtfsFileName> names;
    std::vector<NtfsDataAttribute> data;
    bool hasAttributeList = false;
    NtfsDataAttribute attributeList;  // valid when hasAttributeList
    // A folder's non-resident index blocks ($I30); its run list is all a scan needs of it.
    bool hasIndexAllocation = false;
    NtfsDataAttribute indexAllocation;  // valid when hasIndexAllocation

    // The name shown for the file: the longest name that is not a DOS short name (the first of
    // equal length stays), or the longest DOS name when there is nothing else. nullptr when none.
    const NtfsFileName* ChosenName() const;

  private:
    int Walk(std::span<const std::byte> record, bool namesOnly);

    std::vector<std::byte> bytes_;
};

// The name as the lists show it: UTF-8, with every '?' replaced by '_' and every control
// character too, so that a name never carries a line break into the report.
std::string DisplayName(std::u16string_view name);

}  // namespace lumacore
