#include "engines/ntfs/ntfs_mft_record.h"

#include <bit>
#include <cstring>

#include "core/byte_reader.h"
#include "core/ntfs_runs.h"
#include "core/utf8.h"
#include "engines/ntfs/ntfs_boot_sector.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {

namespace {

// The smallest attribute: the common header plus a resident value header.
constexpr std::size_t kMinAttributeLength = 0x18;
constexpr std::size_t kNonResidentHeaderLength = 0x40;
// Fix-ups protect every 512 bytes of a record, whatever the sector size.
constexpr std::size_t kUpdateSequenceStride = 512;
constexpr std::size_t kStandardInformationLength = 0x24;
constexpr std::size_t kFileNameHeaderLength = 0x42;
constexpr std::size_t kAttributeListEntryMin = 0x1A;
constexpr std::uint8_t kDosNameSpace = 2;

std::u16string ReadUtf16(const ByteReader& r, std::size_t offset, std::size_t units) {
    std::u16string text;
    if (!r.has(offset, units * 2)) return text;
    text.resize(units);
    // Every record's names are read while the MFT streams past: a copy where the host is
    // little-endian like the disk.
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(text.data(), r.bytes().data() + offset, units * 2);
    } else {
        for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(r.u16le(offset + 2 * i));
    }
    return text;
}

}  // namespace

std::string DisplayName(std::u16string_view name) {
    std::string text = Utf16ToUtf8(name);
    for (char& c : text) {
        if (c == '?' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F) c = '_';
    }
    return text;
}

std::vector<NtfsAttributeListEntry> ParseAttributeList(std::span<const std::byte> value) {
    std::vector<NtfsAttributeListEntry> entries;
    const ByteReader r(value);
    for (std::size_t at = 0; r.has(at, kAttributeListEntryMin);) {
        const std::size_t length = r.u16le(at + 4);
        if (length < kAttributeListEntryMin || !r.has(at, length)) break;
        const ByteReader entry = r.sub(at, length);
        NtfsAttributeListEntry e;
        e.type = entry.u32le(0);
        const std::size_t nameUnits = entry.u8(6);
        const std::size_t nameOffset = entry.u8(7);
        e.firstVcn = entry.u64le(8);
        e.reference = entry.u64le(0x10);
        e.attributeId = entry.u16le(0x18);
        if (nameUnits > 0) {
            if (!entry.has(nameOffset, nameUnits * 2)) break;
            e.name = ReadUtf16(entry, nameOffset, nameUnits);
        }
        entries.push_back(std::move(e));
        at += length;
    }
    return entries;
}

const NtfsFileName* CMftRecord::ChosenName() const {
    const NtfsFileName* best = nullptr;
    for (const bool allowDos : {false, true}) {
        for (const NtfsFileName& n : names) {
            if (!allowDos && n.nameSpace == kDosNameSpace) continue;
            if (best == nullptr || n.name.size() > best->name.size()) best = &n;
        }
        if (best != nullptr) return best;
    }
    return nullptr;
}

int CMftRecord::Parse(std::span<const std::byte> record) {
    return Walk(record, false);
}

int CMftRecord::ParseNames(std::span<const std::byte> record) {
    return Walk(record, true);
}

int CMftRecord::Walk(std::span<const std::byte> record, bool namesOnly) {
    // One parser reads record after record: its buffers are kept, its facts start afresh.
    std::vector<std::byte> buffer = std::move(bytes_);
    std::vector<NtfsFileName> nameSlots = std::move(names);
    std::vector<NtfsDataAttribute> dataSlots = std::move(data);
    *this = CMftRecord();
    nameSlots.clear();
    dataSlots.clear();
    names = std::move(nameSlots);
    data = std::move(dataSlots);
    // The header and room for one attribute after it.
    if (record.size() < kMinAttributeLength + ntfs_record::kHeaderSize) return kNtfsBadParameter;
    // The fix-ups only touch the last word of every 512 bytes, never the header: it reads the same
    // before and after them.
    const auto header = DecodeNtfsRecordHeader(record);
    if (!header) return kNtfsBadParameter;

    buffer.assign(record.begin(), record.end());
    bytes_ = std::move(buffer);
    fixupsApplied = ApplyUpdateSequence(bytes_, kUpdateSequenceStride);
    const ByteReader r(bytes_);
    sequence = header->sequence;
    inUse = header->InUse();
    baseReference = header->baseReference;
    std::size_t limit = bytes_.size();
    if (const std::size_t used = header->usedSize; used >= kMinAttributeLength && used < limit) limit = used;

    // Every attribute is at least kMinAttributeLength bytes and the walk only moves forward, so it
    // ends within size / kMinAttributeLength steps.
    for (std::size_t at = header->firstAttributeOffset; at >= 0x18 && at + 8 <= limit;) {
        const std::uint32_t type = r.u32le(at);
        if (type == kAttrEnd) break;
        const std::size_t length = r.u32le(at + 4);
        if (length < kMinAttributeLength || length > limit - at) break;
        const ByteReader a = r.sub(at, length);
        at += length;

        const bool nonResident = a.u8(8) != 0;
        const std::size_t nameUnits = a.u8(9);
        const std::size_t nameOffset = a.u16le(0x0A);
        std::u16string attributeName;
        if (nameUnits > 0) {
            if (!a.has(nameOffset, nameUnits * 2)) continue;
            attributeName = ReadUtf16(a, nameOffset, nameUnits);
        }
        std::span<const std::byte> value;
        if (!nonResident) {
            const std::size_t valueLength = a.u32le(0x10);
            const std::size_t valueOffset = a.u16le(0x14);
            if (!a.has(valueOffset, valueLength)) continue;
            value = a.bytes().subspan(valueOffset, valueLength);
        }

        if (type == kAttrFileName) {
            if (nonResident || value.size() < kFileNameHeaderLength) continue;
            const ByteReader v(value);
            NtfsFileName fn;
            fn.parentReference = v.u64le(0);
            fn.flags = v.u32le(0x38);
            const std::size_t units = v.u8(0x40);
            fn.nameSpace = v.u8(0x41);
            if (!v.has(kFileNameHeaderLength, units * 2)) continue;
            fn.name = ReadUtf16(v, kFileNameHeaderLength, units);
            names.push_back(std::move(fn));
            continue;
        }
        if (namesOnly) continue;

        if (type == kAttrStandardInformation) {
            if (nonResident || value.size() < kStandardInformationLength) continue;
            const ByteReader v(value);
            hasStandardInformation = true;
            creationTime = v.u64le(0x00);
            modificationTime = v.u64le(0x08);
            mftChangeTime = v.u64le(0x10);
            accessTime = v.u64le(0x18);
            fileAttributes = v.u32le(0x20);
        } else if (type == kAttrData || type == kAttrAttributeList ||
                   (type == kAttrIndexAllocation && nonResident)) {
            NtfsDataAttribute d;
            d.name = std::move(attributeName);
            d.flags = a.u16le(0x0C);
            d.attributeId = a.u16le(0x0E);
            d.resident = !nonResident;
            if (d.resident) {
                d.value = value;
                d.dataSize = d.initializedSize = d.allocatedSize = value.size();
            } else {
                if (length < kNonResidentHeaderLength) continue;
                d.firstVcn = a.u64le(0x10);
                d.lastVcn = a.u64le(0x18);
                const std::size_t runsOffset = a.u16le(0x20);
                d.compressionUnitShift = a.u8(0x22);
                d.allocatedSize = a.u64le(0x28);
                d.dataSize = a.u64le(0x30);
                d.initializedSize = a.u64le(0x38);
                if (runsOffset < kNonResidentHeaderLength || runsOffset > length) continue;
                d.mappingPairs = a.bytes().subspan(runsOffset);
            }
            if (type == kAttrData) {
                data.push_back(std::move(d));
            } else if (type == kAttrIndexAllocation) {
                if (!hasIndexAllocation) {
                    hasIndexAllocation = true;
                    indexAllocation = std::move(d);
                }
            } else if (!hasAttributeList) {
                hasAttributeList = true;
                attributeList = std::move(d);
            }
        }
    }
    return kNtfsOk;
}

}  // namespace lumacore
