// FLAC: metadata blocks, then audio frames that carry no length. A frame's length is found by walking
// its subframes (warm-up samples, predictor coefficients, Rice-coded residuals) bit by bit, and the
// frame's CRC-16 must then come out zero. Where that walk fails (a coding this parser does not follow),
// the frame ends at the first place where the running CRC comes out zero and either the next frame's
// sync follows or the stream's sample count is reached; for a last frame that can be a chance zero
// inside it, which the walk avoids.
#include <array>
#include <bit>

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

struct FrameInfo {
    std::uint32_t samples = 0;
    std::uint32_t channelAssignment = 0;  // 0-7: independent channels, 8-10: left/side, side/right, mid/side
    std::uint32_t sampleSizeCode = 0;     // 0: the stream's, else the bits per sample of kSampleBits
    std::uint32_t headerBytes = 0;        // the header up to and with its CRC-8
};
constexpr std::array<std::uint32_t, 8> kSampleBits{0, 8, 12, 0, 16, 20, 24, 32};

// A frame header at `at`, or nothing when the bytes there are not one.
std::optional<FrameInfo> FrameHeader(CarveInput& in, std::uint64_t at) {
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
    return FrameInfo{samples, b(3) >> 4, (b(3) >> 1) & 7, static_cast<std::uint32_t>(p + 1)};
}

// Reads a frame's bits from the front, a window of the input at a time; every read fails past
// `maxBytes` from the start or where the input ends.
class BitReader {
  public:
    BitReader(CarveInput& in, std::uint64_t start, std::uint64_t maxBytes)
        : in_(in), next_(start), end_(start + maxBytes) {}

    std::optional<std::uint32_t> Bits(int n) {  // 0 <= n <= 32
        while (cached_ < n) {
            if (!Load()) return std::nullopt;
        }
        cached_ -= n;
        return n == 0 ? 0u : static_cast<std::uint32_t>((cache_ >> cached_) & ((std::uint64_t{1} << n) - 1));
    }
    bool Skip(std::uint64_t n) {
        for (; n > 32; n -= 32) {
            if (!Bits(32)) return false;
        }
        return Bits(static_cast<int>(n)).has_value();
    }
    // The zeros before the next one bit (the one is read too); fails beyond `most` zeros.
    std::optional<std::uint32_t> Unary(std::uint32_t most) {
        std::uint32_t zeros = 0;
        for (;;) {
            const std::uint64_t valid = cached_ == 0 ? 0 : cache_ & ((std::uint64_t{1} << cached_) - 1);
            if (valid != 0) {
                const int top = 63 - std::countl_zero(valid);
                zeros += static_cast<std::uint32_t>(cached_ - 1 - top);
                cached_ = top;
                return zeros <= most ? std::optional<std::uint32_t>(zeros) : std::nullopt;
            }
            zeros += static_cast<std::uint32_t>(cached_);
            cached_ = 0;
            if (zeros > most || !Load()) return std::nullopt;
        }
    }
    // The byte after the current one when reading stops at a byte boundary.
    std::uint64_t AlignedEnd() const { return next_ - static_cast<std::uint64_t>(cached_ / 8); }

  private:
    bool Load() {
        if (at_ == window_.size()) {
            if (next_ >= end_) return false;
            window_ = in_.Window(next_, std::size_t{1} << 16);
            at_ = 0;
            if (window_.empty()) return false;
        }
        cache_ = (cache_ << 8) | std::to_integer<std::uint8_t>(window_[at_++]);
        cached_ += 8;
        ++next_;
        return next_ <= end_;
    }

    CarveInput& in_;
    std::uint64_t next_;  // the input's next byte to load
    std::uint64_t end_;
    std::span<const std::byte> window_;
    std::size_t at_ = 0;
    std::uint64_t cache_ = 0;
    int cached_ = 0;  // valid low bits of cache_ (at most 39)
};

bool SkipResidual(BitReader& bits, std::uint32_t blockSize, std::uint32_t order) {
    const auto method = bits.Bits(2);
    if (!method || *method > 1) return false;
    const int parameterBits = *method == 0 ? 4 : 5;
    const std::uint32_t escape = *method == 0 ? 15 : 31;
    const auto partitionOrder = bits.Bits(4);
    if (!partitionOrder) return false;
    const std::uint32_t perPartition = blockSize >> *partitionOrder;
    if ((perPartition << *partitionOrder) != blockSize || perPartition < order) return false;
    for (std::uint32_t partition = 0; partition < (1u << *partitionOrder); ++partition) {
        const std::uint32_t count = perPartition - (partition == 0 ? order : 0);
        const auto parameter = bits.Bits(parameterBits);
        if (!parameter) return false;
        if (*parameter == escape) {
            const auto raw = bits.Bits(5);
            if (!raw || !bits.Skip(std::uint64_t{*raw} * count)) return false;
            continue;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            // A quotient this long codes no sample of 32 bits: the bits are not a residual.
            if (!bits.Unary(1u << 16) || !bits.Bits(static_cast<int>(*parameter))) return false;
        }
    }
    return true;
}

// The end of the frame at `at` by walking its subframes, or nothing when they do not walk.
std::optional<std::uint64_t> WalkFrame(CarveInput& in, std::uint64_t at, const FrameInfo& frame,
                                       std::uint32_t streamBits, std::uint64_t maxBytes) {
    const std::uint32_t sampleBits = frame.sampleSizeCode == 0 ? streamBits : kSampleBits[frame.sampleSizeCode];
    if (sampleBits == 0) return std::nullopt;
    const std::uint32_t channels = frame.channelAssignment < 8 ? frame.channelAssignment + 1 : 2;
    BitReader bits(in, at + frame.headerBytes, maxBytes);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        // The side channel of a stereo decorrelation carries one bit more.
        const bool side = (frame.channelAssignment == 8 && channel == 1) ||
                          (frame.channelAssignment == 9 && channel == 0) ||
                          (frame.channelAssignment == 10 && channel == 1);
        std::uint32_t width = sampleBits + (side ? 1 : 0);
        const auto pad = bits.Bits(1);
        const auto type = bits.Bits(6);
        const auto wasted = bits.Bits(1);
        if (!pad || *pad != 0 || !type || !wasted) return std::nullopt;
        if (*wasted != 0) {
            const auto shift = bits.Unary(width);
            if (!shift || *shift + 1 >= width) return std::nullopt;
            width -= *shift + 1;
        }
        if (*type == 0) {  // constant
            if (!bits.Skip(width)) return std::nullopt;
        } else if (*type == 1) {  // verbatim
            if (!bits.Skip(std::uint64_t{width} * frame.samples)) return std::nullopt;
        } else if (*type >= 8 && *type <= 12) {  // fixed predictor
            const std::uint32_t order = *type - 8;
            if (order > frame.samples || !bits.Skip(std::uint64_t{width} * order) ||
                !SkipResidual(bits, frame.samples, order)) {
                return std::nullopt;
            }
        } else if (*type >= 32) {  // linear predictor
            const std::uint32_t order = (*type & 31) + 1;
            if (order > frame.samples || !bits.Skip(std::uint64_t{width} * order)) return std::nullopt;
            const auto precision = bits.Bits(4);
            if (!precision || *precision == 15 || !bits.Bits(5) ||
                !bits.Skip(std::uint64_t{*precision + 1} * order) || !SkipResidual(bits, frame.samples, order)) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    const std::uint64_t end = bits.AlignedEnd() + 2;  // the CRC-16 follows the padding
    if (end - at > maxBytes) return std::nullopt;
    std::uint16_t crc = 0;
    for (std::uint64_t p = at; p < end;) {
        const auto window = in.Window(p, static_cast<std::size_t>(std::min<std::uint64_t>(end - p, 1u << 16)));
        if (window.empty()) return std::nullopt;
        for (const std::byte b : window)
            crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[((crc >> 8) ^ std::to_integer<std::uint8_t>(b)) & 0xFF]);
        p += window.size();
    }
    if (crc != 0) return std::nullopt;
    return end;
}

}  // namespace

FormatVerdict ParseFlac(CarveInput& in) {
    if (!in.Equals(0, "fLaC")) return FormatVerdict::Reject();
    std::uint64_t at = 4;
    std::uint64_t totalSamples = 0;
    std::uint32_t streamBits = 0;
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
            const auto bitsField = in.U16be(at + 4 + 12);
            if (!bitsField) return FormatVerdict::Unknown();
            streamBits = ((*bitsField >> 4) & 31u) + 1;
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
        const auto frame = FrameHeader(in, at);
        if (!frame) return frames == 0 ? FormatVerdict::Unknown() : FormatVerdict::Partial(at);
        samples += frame->samples;
        const bool last = samples >= totalSamples;
        if (const auto walked = WalkFrame(in, at, *frame, streamBits, kMaxFrameBytes)) {
            at = *walked;
            if (last) return FormatVerdict::Length(at);
            continue;
        }
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
                if (last || FrameHeader(in, after).has_value()) {
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
