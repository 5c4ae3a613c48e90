// TIFF and the camera raw formats built on it (CR2, NEF, DNG, ARW, ORF, RW2, PEF, SR2, ...): the chain
// of image directories and every sub-directory they point to. The file ends at the furthest byte any
// directory, tag value, strip or tile refers to.
#include <algorithm>
#include <vector>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// Directories in a camera raw: a few dozen at most (main chain, EXIF, GPS, maker notes, sub-images).
constexpr std::size_t kMaxDirectories = 256;
constexpr std::uint32_t kMaxEntries = 4096;
// Strip and tile offset lists longer than this are sampled no further (a big scan has tens of thousands).
constexpr std::uint32_t kMaxOffsets = 1u << 20;

struct Walk {
    CarveInput& in;
    bool big;  // byte order "MM"
    std::uint64_t end = 0;
    std::vector<std::uint64_t> pending;
    std::vector<std::uint64_t> seen;
    bool broken = false;

    std::optional<std::uint32_t> U16(std::uint64_t at) {
        const auto v = big ? in.U16be(at) : in.U16le(at);
        return v ? std::optional<std::uint32_t>(*v) : std::nullopt;
    }
    std::optional<std::uint32_t> U32(std::uint64_t at) { return big ? in.U32be(at) : in.U32le(at); }
    // A value of a SHORT or LONG array at index i.
    std::optional<std::uint32_t> Value(std::uint16_t type, std::uint64_t at, std::uint32_t i) {
        return type == 3 ? U16(at + 2ull * i) : U32(at + 4ull * i);
    }
    void Queue(std::uint64_t offset) {
        if (offset < 8 || offset >= in.limit()) return;
        if (std::find(seen.begin(), seen.end(), offset) != seen.end()) return;
        if (seen.size() >= kMaxDirectories) return;
        seen.push_back(offset);
        pending.push_back(offset);
    }
};

std::uint32_t TypeSize(std::uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18:
            return 8;
        default:
            return 0;
    }
}

// Strips/tiles: offsets in one tag, byte counts in its partner; the furthest end counts.
void AddPieces(Walk& w, std::uint16_t offType, std::uint64_t offAt, std::uint16_t countType,
               std::uint64_t countAt, std::uint32_t count) {
    count = std::min(count, kMaxOffsets);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto offset = w.Value(offType, offAt, i);
        const auto length = w.Value(countType, countAt, i);
        if (!offset || !length) return;
        w.end = std::max(w.end, std::uint64_t{*offset} + *length);
    }
}

bool WalkDirectory(Walk& w, std::uint64_t at) {
    const auto count = w.U16(at);
    if (!count || *count == 0 || *count > kMaxEntries) return false;
    struct Piece {
        std::uint16_t type = 0;
        std::uint64_t at = 0;
        std::uint32_t count = 0;
    };
    Piece stripOffsets, stripCounts, tileOffsets, tileCounts;
    std::optional<std::uint32_t> thumbOffset, thumbLength;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = at + 2 + 12ull * i;
        const auto tag = w.U16(entry);
        const auto type = w.U16(entry + 2);
        const auto n = w.U32(entry + 4);
        if (!tag || !type || !n) return false;
        const std::uint32_t size = TypeSize(static_cast<std::uint16_t>(*type));
        if (size == 0) return false;
        const std::uint64_t bytes = std::uint64_t{size} * *n;
        std::uint64_t valueAt = entry + 8;
        if (bytes > 4) {
            const auto offset = w.U32(entry + 8);
            if (!offset) return false;
            valueAt = *offset;
            w.end = std::max(w.end, valueAt + bytes);
        }
        const Piece piece{static_cast<std::uint16_t>(*type), valueAt, *n};
        switch (*tag) {
            case 273:
                stripOffsets = piece;
                break;
            case 279:
                stripCounts = piece;
                break;
            case 324:
                tileOffsets = piece;
                break;
            case 325:
                tileCounts = piece;
                break;
            case 513:
                thumbOffset = w.Value(piece.type, valueAt, 0);
                break;
            case 514:
                thumbLength = w.Value(piece.type, valueAt, 0);
                break;
            case 330:  // sub-directories
                for (std::uint32_t k = 0; k < std::min<std::uint32_t>(*n, 64); ++k) {
                    if (const auto sub = w.Value(piece.type, valueAt, k)) w.Queue(*sub);
                }
                break;
            case 34665:  // EXIF
            case 34853:  // GPS
            case 40965:  // interoperability
                if (const auto sub = w.Value(piece.type, valueAt, 0)) w.Queue(*sub);
                break;
            default:
                break;
        }
    }
    if (stripOffsets.count != 0 && stripCounts.count == stripOffsets.count) {
        AddPieces(w, stripOffsets.type, stripOffsets.at, stripCounts.type, stripCounts.at,
                  stripOffsets.count);
    }
    if (tileOffsets.count != 0 && tileCounts.count == tileOffsets.count) {
        AddPieces(w, tileOffsets.type, tileOffsets.at, tileCounts.type, tileCounts.at, tileOffsets.count);
    }
    if (thumbOffset && thumbLength) w.end = std::max(w.end, std::uint64_t{*thumbOffset} + *thumbLength);
    w.end = std::max<std::uint64_t>(w.end, at + 2 + 12ull * *count + 4);
    if (const auto next = w.U32(at + 2 + 12ull * *count); next && *next != 0) w.Queue(*next);
    return true;
}

}  // namespace

FormatVerdict ParseTiff(CarveInput& in) {
    bool big = false;
    if (in.Equals(0, "II")) {
        big = false;
    } else if (in.Equals(0, "MM")) {
        big = true;
    } else {
        return FormatVerdict::Reject();
    }
    Walk w{in, big, 0, {}, {}, false};
    const auto magic = w.U16(2);
    if (!magic) return FormatVerdict::Unknown();
    // 42 is TIFF; Olympus and Panasonic raws put their own numbers here.
    if (*magic != 42 && *magic != 0x4F52 && *magic != 0x5352 && *magic != 0x55)
        return FormatVerdict::Reject();
    const auto first = w.U32(4);
    if (!first) return FormatVerdict::Unknown();
    if (*first < 8) return FormatVerdict::Reject();
    w.Queue(*first);
    bool any = false;
    while (!w.pending.empty()) {
        const std::uint64_t at = w.pending.back();
        w.pending.pop_back();
        if (WalkDirectory(w, at)) {
            any = true;
        } else if (!any) {
            return FormatVerdict::Reject();
        }
    }
    if (!any) return *first >= in.limit() ? FormatVerdict::Unknown() : FormatVerdict::Reject();
    if (w.end > in.limit()) return FormatVerdict::Unknown();
    return FormatVerdict::Length(w.end);
}

}  // namespace lumacore::formats
