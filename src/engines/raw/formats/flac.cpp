// FLAC: metadata blocks, then audio frames that carry no length. Each frame ends with a CRC-16 over
// the whole frame, so a frame ends at the first place where the running CRC comes out zero and either
// the next frame's sync follows or the stream's sample count is reached.
#include <array>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxMetadataBlocks = 1024;
constexpr std::uint64_t kMaxFrames = 1u << 26;
// The format's largest frame (65535 samples of 8 channels at 32 bits, uncompressed) is under 2 MiB.
constexpr std::uint64_t kMaxFrameBytes = 16u << 20;

constexpr std::array<std::uint16_t, 256> MakeCrc16() {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 8;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr auto kCrc16 = MakeCrc16();

std::uint8_t Crc8(std::span<const std::byte> bytes) {
    std::uint8_t crc = 0;
    for (const std::byte b : bytes) {
        crc ^= std::to_integer<std::uint8_t>(b);
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint8_t>((crc & 0x80) ? ((crc << 1) ^ 0x07) : (crc << 1));
    }
    return crc;
}

// A frame header at `at`: its block size in samples, or nothing when the bytes there are not one.
std::optional<std::uint32_t> FrameHeader(CarveInput& in, std::uint64_t at) {
    const auto bytes = in.Window(at, 16);
    if (bytes.size() < 6) return std::nullopt;
    const auto b = [&](std::size_t i) { return std::to_integer<std::uint32_t>(bytes[i]); };
    if (b(0) != 0xFF || (b(1) & 0xFE) != 0xF8) return std::nullopt;
    const std::uint32_t sizeCode = b(2) >> 4;
    const std::uint32_t rateCode = b(2) & 15;
    if (sizeCode == 0 || rateCode == 15 || (b(3) >> 4) > 10 || ((b(3) >> 1) & 7) == 3 ||
        ((b(3) >> 1) & 7) == 7) {
        return std::nullopt;
    }
    std::size_t p = 4;
    // The frame or sample number, UTF-8 coded in 1 to 7 bytes.
    std::uint32_t lead = b(p);
    int extra = 0;
    if (lead >= 0x80) {
        if ((lead & 0xE0) == 0xC0)
            extra = 1;
        else if ((lead & 0xF0) == 0xE0)
            extra = 2;
        else if ((lead & 0xF8) == 0xF0)
            extra = 3;
        else if ((lead & 0xFC) == 0xF8)
            extra = 4;
        else if ((lead & 0xFE) == 0xFC)
            extra = 5;
        else if (lead == 0xFE)
            extra = 6;
        else
            return std::nullopt;
    }
    p += 1 + static_cast<std::size_t>(extra);
    std::uint32_t samples = 0;
    if (sizeCode == 1)
        samples = 192;
    else if (sizeCode <= 5)
        samples = 576u << (sizeCode - 2);
    else if (sizeCode == 6)
        samples = (p < bytes.size() ? b(p) : 0) + 1, p += 1;
    else if (sizeCode == 7)
        samples = (p + 1 < bytes.size() ? (b(p) << 8 | b(p + 1)) : 0) + 1, p += 2;
    else
        samples = 256u << (sizeCode - 8);
    if (rateCode == 12)
        p += 1;
    else if (rateCode == 13 || rateCode == 14)
        p += 2;
    if (p >= bytes.size() || Crc8(bytes.first(p)) != b(p)) return std::nullopt;
    return samples;
}

}  // namespace

FormatVerdict ParseFlac(CarveInput& in) {
    if (!in.Equals(0, "fLaC")) return FormatVerdict::Reject();
    std::uint64_t at = 4;
    std::uint64_t totalSamples = 0;
    for (int blocks = 0;; ++blocks) {
        if (blocks >= kMaxMetadataBlocks) return FormatVerdict::Reject();
        const auto header = in.U32be(at);
        if (!header) return FormatVerdict::Unknown();
        const std::uint32_t type = (*header >> 24) & 0x7F;
        const std::uint32_t length = *header & 0xFFFFFF;
        if (blocks == 0) {
            if (type != 0 || length != 34) return FormatVerdict::Reject();
            const auto high = in.U8(at + 4 + 13);
            const auto low = in.U32be(at + 4 + 14);
            if (!high || !low) return FormatVerdict::Unknown();
            totalSamples = (std::uint64_t{*high & 15u} << 32) | *low;
        } else if (type == 127) {
            return FormatVerdict::Reject();
        }
        at += 4 + length;
        if (*header & 0x80000000u) break;
    }
    // Without the sample count the last frame cannot be told from one that was cut.
    if (totalSamples == 0) return FormatVerdict::Unknown();
    std::uint64_t samples = 0;
    for (std::uint64_t frames = 0; frames < kMaxFrames; ++frames) {
        const auto blockSize = FrameHeader(in, at);
        if (!blockSize) return frames == 0 ? FormatVerdict::Unknown() : FormatVerdict::Partial(at);
        samples += *blockSize;
        const bool last = samples >= totalSamples;
        std::uint16_t crc = 0;
        std::uint64_t p = at;
        std::optional<std::uint64_t> end;
        while (!end && p - at < kMaxFrameBytes) {
            const auto bytes = in.Window(p, 1u << 16);
            if (bytes.empty()) return FormatVerdict::Unknown();
            std::uint64_t next = p + bytes.size();
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                crc = static_cast<std::uint16_t>(
                    (crc << 8) ^ kCrc16[((crc >> 8) ^ std::to_integer<std::uint8_t>(bytes[i])) & 0xFF]);
                const std::uint64_t after = p + i + 1;
                // A frame is at least its header and the CRC: zero before that is chance.
                if (crc != 0 || after - at < 8) continue;
                if (last || FrameHeader(in, after)) {
                    end = after;
                } else {
                    // Looking at the next header may have moved the window: go on from here afresh.
                    next = after;
                }
                break;
            }
            p = next;
        }
        if (!end) return FormatVerdict::Partial(at);
        at = *end;
        if (last) return FormatVerdict::Length(at);
    }
    return FormatVerdict::Unknown();
}

}  // namespace lumacore::formats
