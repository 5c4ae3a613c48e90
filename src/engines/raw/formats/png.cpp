// PNG (and its animated and multi-image kin MNG/JNG): length-prefixed chunks, each with a CRC, up to
// IEND (MEND for MNG). A chunk whose CRC does not hold is where the file's data stopped.
#include <zlib.h>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// A chunk longer than this is not in any real file (the format caps lengths at 2^31 - 1).
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFF;
constexpr int kMaxChunks = 1000000;

bool IsChunkType(std::span<const std::byte> type) {
    for (const std::byte b : type) {
        const auto c = std::to_integer<unsigned char>(b);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

// The CRC covers the type and the data; read in windows so that large IDAT chunks cost no allocation.
bool CrcHolds(CarveInput& in, std::uint64_t typeAt, std::uint32_t length) {
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t at = typeAt;
    std::uint64_t left = std::uint64_t{length} + 4;
    while (left > 0) {
        const auto bytes =
            in.Window(at, static_cast<std::size_t>(std::min<std::uint64_t>(left, CarveInput::kMaxWindow)));
        if (bytes.empty()) return false;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
        at += bytes.size();
        left -= bytes.size();
    }
    const auto stored = in.U32be(at);
    return stored && *stored == crc;
}

}  // namespace

FormatVerdict ParsePng(CarveInput& in) {
    const bool png = in.Equals(0, "\x89PNG\r\n\x1a\n");
    const bool mng = in.Equals(0, "\x8aMNG\r\n\x1a\n") || in.Equals(0, "\x8bJNG\r\n\x1a\n");
    if (!png && !mng) return FormatVerdict::Reject();
    std::uint64_t at = 8;
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        const auto length = in.U32be(at);
        if (!length) return FormatVerdict::Unknown();
        std::array<std::byte, 4> type{};
        if (!in.Read(at + 4, type)) return FormatVerdict::Unknown();
        if (*length > kMaxChunk || !IsChunkType(type)) {
            return chunks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        }
        const std::uint64_t next = at + 12 + *length;
        if (next > in.limit()) return FormatVerdict::Unknown();
        if (!CrcHolds(in, at + 4, *length))
            return chunks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        if (in.Equals(at + 4, "IEND") || in.Equals(at + 4, "MEND")) return FormatVerdict::Length(next);
        at = next;
    }
    return FormatVerdict::Unknown();
}

}  // namespace lumacore::formats
