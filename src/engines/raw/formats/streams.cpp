// Compressed streams: gzip and bzip2 carry no length, so the stream is decoded (into a scratch buffer
// that is thrown away) until the decoder reports its end; xz ends with a footer that repeats the header's
// flags under a CRC; zstd frames are a chain of blocks with their sizes.
#include <bzlib.h>
#include <zlib.h>

#include <array>
#include <vector>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

// Members of a concatenated gzip or bzip2 file, and zstd frames in a row.
constexpr int kMaxMembers = 4096;
constexpr std::size_t kInputStep = 256u << 10;
constexpr std::size_t kScratch = 256u << 10;
// A decoding error this close to the header means the header was chance, not a damaged stream.
constexpr std::uint64_t kMinPartial = 4096;

enum class Decoded { kEnd, kError, kOutOfInput };

// Feeds `in` from `at` to the decoder until it ends; `consumed` is the bytes it took.
template <typename Step>
Decoded Decode(CarveInput& in, std::uint64_t at, std::uint64_t& consumed, Step step) {
    consumed = 0;
    for (;;) {
        const auto bytes = in.Window(at + consumed, kInputStep);
        if (bytes.empty()) return Decoded::kOutOfInput;
        std::size_t used = 0;
        const Decoded result = step(bytes, used);
        consumed += used;
        if (result != Decoded::kOutOfInput) return result;
        if (used == 0 && bytes.size() < kInputStep) return Decoded::kOutOfInput;
    }
}

FormatVerdict Finish(Decoded result, std::uint64_t at, std::uint64_t consumed, bool first) {
    if (result == Decoded::kOutOfInput) return FormatVerdict::Unknown();
    if (result == Decoded::kError) {
        if (first && consumed < kMinPartial) return FormatVerdict::Reject();
        return FormatVerdict::Partial(at + consumed);
    }
    return FormatVerdict::Length(at + consumed);
}

}  // namespace

FormatVerdict ParseGzip(CarveInput& in) {
    const auto method = in.U8(2);
    const auto flags = in.U8(3);
    if (in.U16be(0) != 0x1F8B || !method || !flags) return FormatVerdict::Reject();
    if (*method != 8 || (*flags & 0xE0) != 0) return FormatVerdict::Reject();
    std::vector<Bytef> scratch(kScratch);
    std::uint64_t at = 0;
    for (int member = 0; member < kMaxMembers; ++member) {
        z_stream z{};
        if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return FormatVerdict::Unknown();
        std::uint64_t consumed = 0;
        const Decoded result =
            Decode(in, at, consumed, [&](std::span<const std::byte> bytes, std::size_t& used) {
                z.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(bytes.data()));
                z.avail_in = static_cast<uInt>(bytes.size());
                for (;;) {
                    z.next_out = scratch.data();
                    z.avail_out = static_cast<uInt>(scratch.size());
                    const int code = inflate(&z, Z_NO_FLUSH);
                    used = bytes.size() - z.avail_in;
                    if (code == Z_STREAM_END) return Decoded::kEnd;
                    if (code != Z_OK && code != Z_BUF_ERROR) return Decoded::kError;
                    if (z.avail_in == 0) return Decoded::kOutOfInput;
                    if (code == Z_BUF_ERROR && z.avail_out != 0) return Decoded::kError;
                }
            });
        inflateEnd(&z);
        const FormatVerdict verdict = Finish(result, at, consumed, member == 0);
        if (verdict.kind != FormatVerdict::Kind::kLength) return verdict;
        at = verdict.length;
        if (in.U16be(at) != 0x1F8B || in.U8(at + 2) != 8) return verdict;
    }
    return FormatVerdict::Length(at);
}

FormatVerdict ParseBzip2(CarveInput& in) {
    const auto level = in.U8(3);
    if (!in.Equals(0, "BZh") || !level) return FormatVerdict::Reject();
    if (*level < '1' || *level > '9' || in.U32be(4) != 0x31415926u) {
        // An empty stream has the end marker right away.
        if (in.U32be(4) != 0x17724538u) return FormatVerdict::Reject();
    }
    std::vector<char> scratch(kScratch);
    std::uint64_t at = 0;
    for (int member = 0; member < kMaxMembers; ++member) {
        bz_stream z{};
        if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK) return FormatVerdict::Unknown();
        std::uint64_t consumed = 0;
        const Decoded result =
            Decode(in, at, consumed, [&](std::span<const std::byte> bytes, std::size_t& used) {
                z.next_in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
                z.avail_in = static_cast<unsigned>(bytes.size());
                for (;;) {
                    z.next_out = scratch.data();
                    z.avail_out = static_cast<unsigned>(scratch.size());
                    const int code = BZ2_bzDecompress(&z);
                    used = bytes.size() - z.avail_in;
                    if (code == BZ_STREAM_END) return Decoded::kEnd;
                    if (code != BZ_OK) return Decoded::kError;
                    if (z.avail_in == 0 && z.avail_out != 0) return Decoded::kOutOfInput;
                }
            });
        BZ2_bzDecompressEnd(&z);
        const FormatVerdict verdict = Finish(result, at, consumed, member == 0);
        if (verdict.kind != FormatVerdict::Kind::kLength) return verdict;
        at = verdict.length;
        if (!in.Equals(at, "BZh") || in.U32be(at + 4) != 0x31415926u) return verdict;
    }
    return FormatVerdict::Length(at);
}

FormatVerdict ParseXz(CarveInput& in) {
    if (!in.Equals(0, std::string_view("\xFD"
                                       "7zXZ\0",
                                       6)))
        return FormatVerdict::Reject();
    std::array<std::byte, 6> header{};
    if (!in.Read(6, header)) return FormatVerdict::Unknown();
    const auto flagsCrc = crc32(0L, reinterpret_cast<const Bytef*>(header.data()), 2);
    if (in.U32le(8) != flagsCrc || std::to_integer<int>(header[0]) != 0) return FormatVerdict::Reject();
    // The footer: CRC32, backward size, the stream flags again, "YZ". Checked in full, a chance "YZ"
    // inside the compressed data does not pass.
    for (std::uint64_t from = 12 + 12;;) {
        const auto magic = in.Find(from, in.limit(), "YZ");
        if (!magic) return FormatVerdict::Unknown();
        from = *magic + 1;
        if (*magic < 22) continue;
        std::array<std::byte, 10> footer{};
        if (!in.Read(*magic - 10, footer)) continue;
        if (footer[8] != header[0] || footer[9] != header[1]) continue;
        const auto stored =
            std::to_integer<std::uint32_t>(footer[0]) | std::to_integer<std::uint32_t>(footer[1]) << 8 |
            std::to_integer<std::uint32_t>(footer[2]) << 16 | std::to_integer<std::uint32_t>(footer[3]) << 24;
        if (crc32(0L, reinterpret_cast<const Bytef*>(footer.data()) + 4, 6) != stored) continue;
        // Stream padding (zeros in fours) may follow, but cannot be told from zero filler: the file
        // ends with its footer.
        return FormatVerdict::Length(*magic + 2);
    }
}

FormatVerdict ParseZstd(CarveInput& in) {
    std::uint64_t at = 0;
    for (int frame = 0; frame < kMaxMembers; ++frame) {
        if (in.U32le(at) != 0xFD2FB528u)
            return frame == 0 ? FormatVerdict::Reject() : FormatVerdict::Length(at);
        const auto descriptor = in.U8(at + 4);
        if (!descriptor) return FormatVerdict::Unknown();
        if (*descriptor & 0x08) return frame == 0 ? FormatVerdict::Reject() : FormatVerdict::Length(at);
        const std::uint32_t sizeFlag = *descriptor >> 6;
        const bool single = *descriptor & 0x20;
        const bool checksum = *descriptor & 0x04;
        static constexpr std::uint32_t kDictionaryBytes[4] = {0, 1, 2, 4};
        static constexpr std::uint32_t kSizeBytes[4] = {0, 2, 4, 8};
        std::uint64_t p = at + 5 + (single ? 0 : 1) + kDictionaryBytes[*descriptor & 3] +
                          (sizeFlag == 0 && single ? 1 : kSizeBytes[sizeFlag]);
        for (std::uint64_t blocks = 0;; ++blocks) {
            if (blocks > (std::uint64_t{1} << 24)) return FormatVerdict::Unknown();
            const auto low = in.U16le(p);
            const auto high = in.U8(p + 2);
            if (!low || !high) return FormatVerdict::Unknown();
            const std::uint32_t block = *low | (std::uint32_t{*high} << 16);
            const std::uint32_t type = (block >> 1) & 3;
            const std::uint32_t size = block >> 3;
            if (type == 3 || size > (128u << 10)) {
                return frame == 0 && blocks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(p);
            }
            p += 3 + (type == 1 ? 1 : size);
            if (p > in.limit()) return FormatVerdict::Unknown();
            if (block & 1) break;
        }
        at = p + (checksum ? 4 : 0);
    }
    return FormatVerdict::Length(at);
}

}  // namespace lumacore::formats
