#include "core/lznt1.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace lumacore {

namespace {

constexpr std::uint16_t kCompressedFlag = 0x8000;
// Bits 12..14 of a chunk header always hold 3 in streams Windows writes; decoders do not insist on it.
constexpr std::uint16_t kChunkSignature = 0x3000;
constexpr std::uint16_t kChunkLengthMask = 0x0FFF;
constexpr std::size_t kMinMatch = 3;

// A back-reference token splits its 16 bits between offset and length according to how far into
// the chunk it stands: the further in, the more bits the offset needs. Returns the number of offset
// bits beyond the minimum 4.
unsigned ExtraOffsetBits(std::size_t positionInChunk) {
    unsigned bits = 0;
    for (std::size_t i = positionInChunk - 1; i >= 0x10; i >>= 1) ++bits;
    return bits;
}

std::uint8_t At(std::span<const std::byte> bytes, std::size_t i) { return std::to_integer<std::uint8_t>(bytes[i]); }

// Decodes the tokens of one compressed chunk into output[chunkStart ...]; returns the end position.
std::optional<std::size_t> DecodeChunk(std::span<const std::byte> chunk, std::span<std::byte> output,
                                       std::size_t chunkStart) {
    const std::size_t chunkLimit = std::min(output.size(), chunkStart + kLznt1ChunkSize);
    std::size_t out = chunkStart;
    std::size_t p = 0;
    while (p < chunk.size()) {
        const std::uint8_t flags = At(chunk, p++);
        for (unsigned bit = 0; bit < 8 && p < chunk.size(); ++bit) {
            if ((flags & (1u << bit)) == 0) {
                if (out >= chunkLimit) return std::nullopt;
                output[out++] = chunk[p++];
                continue;
            }
            if (chunk.size() - p < 2) return std::nullopt;
            const std::uint16_t token = static_cast<std::uint16_t>(At(chunk, p) | (At(chunk, p + 1) << 8));
            p += 2;
            const std::size_t position = out - chunkStart;
            if (position == 0) return std::nullopt;  // nothing to refer back to yet
            const unsigned extra = ExtraOffsetBits(position);
            const std::size_t offset = static_cast<std::size_t>(token >> (12 - extra)) + 1;
            const std::size_t length = static_cast<std::size_t>(token & (kChunkLengthMask >> extra)) + kMinMatch;
            if (offset > position || length > chunkLimit - out) return std::nullopt;
            // Byte by byte: the source may overlap what is being written (runs of a repeated pattern).
            for (std::size_t i = 0; i < length; ++i, ++out) output[out] = output[out - offset];
        }
    }
    return out;
}

}  // namespace

std::optional<std::size_t> Lznt1Decompress(std::span<const std::byte> input, std::span<std::byte> output) {
    std::size_t in = 0;
    std::size_t out = 0;
    bool first = true;
    std::size_t chunkStart = 0;
    while (input.size() - in >= 2) {
        const std::uint16_t header = static_cast<std::uint16_t>(At(input, in) | (At(input, in + 1) << 8));
        if (header == 0) break;
        in += 2;
        const std::size_t length = static_cast<std::size_t>(header & kChunkLengthMask) + 1;
        if (length > input.size() - in) return std::nullopt;
        if (!first) {
            // The chunk before stands for a whole 4096 bytes, however few it produced.
            chunkStart += kLznt1ChunkSize;
            if (chunkStart > output.size()) return std::nullopt;
            std::fill(output.begin() + static_cast<std::ptrdiff_t>(out),
                      output.begin() + static_cast<std::ptrdiff_t>(chunkStart), std::byte{0});
            out = chunkStart;
        }
        first = false;
        const std::span<const std::byte> chunk = input.subspan(in, length);
        if ((header & kCompressedFlag) == 0) {
            if (length > output.size() - out) return std::nullopt;
            std::memcpy(output.data() + out, chunk.data(), length);
            out += length;
        } else {
            const auto end = DecodeChunk(chunk, output, chunkStart);
            if (!end) return std::nullopt;
            out = *end;
        }
        in += length;
    }
    return out;
}

std::vector<std::byte> Lznt1Compress(std::span<const std::byte> input) {
    constexpr std::size_t kHashSize = 4096;
    // How many earlier positions with the same 3-byte hash are tried; more finds longer matches
    // for little gain on the data this is used for.
    constexpr int kMaxChainSteps = 64;
    constexpr std::uint16_t kNone = 0xFFFF;

    std::vector<std::byte> out;
    out.reserve(input.size() + input.size() / 8 + 16);
    std::array<std::uint16_t, kHashSize> head{};
    std::array<std::uint16_t, kLznt1ChunkSize> previous{};
    std::vector<std::byte> tokens;
    tokens.reserve(kLznt1ChunkSize + kLznt1ChunkSize / 8 + 8);

    for (std::size_t base = 0; base < input.size(); base += kLznt1ChunkSize) {
        const std::span<const std::byte> chunk = input.subspan(base, std::min(kLznt1ChunkSize, input.size() - base));
        const std::size_t n = chunk.size();
        head.fill(kNone);
        const auto hash = [&](std::size_t i) {
            return ((At(chunk, i) << 4) ^ (At(chunk, i + 1) << 2) ^ At(chunk, i + 2)) & (kHashSize - 1);
        };
        const auto insert = [&](std::size_t i) {
            if (i + kMinMatch > n) return;
            const std::size_t h = hash(i);
            previous[i] = head[h];
            head[h] = static_cast<std::uint16_t>(i);
        };

        tokens.clear();
        std::size_t pos = 0;
        while (pos < n) {
            const std::size_t flagAt = tokens.size();
            tokens.push_back(std::byte{0});
            std::uint8_t flags = 0;
            for (unsigned bit = 0; bit < 8 && pos < n; ++bit) {
                std::size_t bestLength = 0;
                std::size_t bestOffset = 0;
                if (pos > 0 && pos + kMinMatch <= n) {
                    const unsigned extra = ExtraOffsetBits(pos);
                    const std::size_t maxLength = std::min<std::size_t>(n - pos, (kChunkLengthMask >> extra) + kMinMatch);
                    std::uint16_t candidate = head[hash(pos)];
                    for (int step = 0; candidate != kNone && step < kMaxChainSteps; ++step) {
                        std::size_t length = 0;
                        while (length < maxLength && chunk[candidate + length] == chunk[pos + length]) ++length;
                        if (length > bestLength) {
                            bestLength = length;
                            bestOffset = pos - candidate;
                            if (length == maxLength) break;
                        }
                        candidate = previous[candidate];
                    }
                }
                if (bestLength >= kMinMatch) {
                    const unsigned extra = ExtraOffsetBits(pos);
                    const auto token =
                        static_cast<std::uint16_t>(((bestOffset - 1) << (12 - extra)) | (bestLength - kMinMatch));
                    tokens.push_back(static_cast<std::byte>(token & 0xFF));
                    tokens.push_back(static_cast<std::byte>(token >> 8));
                    flags = static_cast<std::uint8_t>(flags | (1u << bit));
                    for (std::size_t i = 0; i < bestLength; ++i) insert(pos + i);
                    pos += bestLength;
                } else {
                    tokens.push_back(chunk[pos]);
                    insert(pos);
                    ++pos;
                }
            }
            tokens[flagAt] = static_cast<std::byte>(flags);
        }

        const bool store = tokens.size() >= n;
        const std::size_t length = store ? n : tokens.size();
        const auto header = static_cast<std::uint16_t>((store ? 0 : kCompressedFlag) | kChunkSignature | (length - 1));
        out.push_back(static_cast<std::byte>(header & 0xFF));
        out.push_back(static_cast<std::byte>(header >> 8));
        if (store) {
            out.insert(out.end(), chunk.begin(), chunk.end());
        } else {
            out.insert(out.end(), tokens.begin(), tokens.end());
        }
    }
    return out;
}

}  // namespace lumacore
