// RIFF (WAV, AVI, WebP, ANI, CDR, ...) and its big-endian ancestor IFF (AIFF, 8SVX, ILBM): one chunk
// whose size covers the file. An AVI over 1 GiB continues in further "RIFF....AVIX" chunks.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxAvixChunks = 4096;

bool IsFourCc(CarveInput& in, std::uint64_t at) {
    const auto bytes = in.Window(at, 4);
    if (bytes.size() < 4) return false;
    for (const std::byte b : bytes) {
        const auto c = std::to_integer<unsigned char>(b);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

std::string_view RiffExtension(CarveInput& in) {
    if (in.Equals(8, "WAVE")) return "wav";
    if (in.Equals(8, "AVI ")) return "avi";
    if (in.Equals(8, "WEBP")) return "webp";
    if (in.Equals(8, "ACON")) return "ani";
    if (in.Equals(8, "RMID")) return "rmi";
    return {};
}

}  // namespace

FormatVerdict ParseRiff(CarveInput& in) {
    const bool rf64 = in.Equals(0, "RF64");
    if (!in.Equals(0, "RIFF") && !in.Equals(0, "RIFX") && !rf64) return FormatVerdict::Reject();
    if (!IsFourCc(in, 8)) return in.limit() < 12 ? FormatVerdict::Unknown() : FormatVerdict::Reject();
    const bool big = in.Equals(0, "RIFX");
    const auto size = big ? in.U32be(4) : in.U32le(4);
    if (!size) return FormatVerdict::Unknown();
    if (*size < 4) return FormatVerdict::Reject();
    const std::string_view extension = RiffExtension(in);
    std::uint64_t end = 8 + std::uint64_t{*size};
    if (rf64) {
        // The true size is in the ds64 chunk that must come first.
        if (!in.Equals(12, "ds64")) return FormatVerdict::Reject();
        const auto riffSize = in.U64le(20);
        if (!riffSize) return FormatVerdict::Unknown();
        end = 8 + *riffSize;
    }
    end += end & 1;
    if (in.Equals(8, "AVI ")) {
        for (int i = 0; i < kMaxAvixChunks && in.Equals(end, "RIFF") && in.Equals(end + 8, "AVIX"); ++i) {
            const auto more = in.U32le(end + 4);
            if (!more) return FormatVerdict::Unknown(extension);
            end += 8 + std::uint64_t{*more} + (*more & 1);
        }
    }
    if (end > in.limit()) return FormatVerdict::Unknown(extension);
    return FormatVerdict::Length(end, extension);
}

FormatVerdict ParseIff(CarveInput& in) {
    if (!in.Equals(0, "FORM")) return FormatVerdict::Reject();
    if (!IsFourCc(in, 8)) return in.limit() < 12 ? FormatVerdict::Unknown() : FormatVerdict::Reject();
    const auto size = in.U32be(4);
    if (!size) return FormatVerdict::Unknown();
    if (*size < 4) return FormatVerdict::Reject();
    std::string_view extension;
    if (in.Equals(8, "AIFF")) extension = "aif";
    if (in.Equals(8, "AIFC")) extension = "aifc";
    const std::uint64_t end = 8 + std::uint64_t{*size} + (*size & 1);
    if (end > in.limit()) return FormatVerdict::Unknown(extension);
    return FormatVerdict::Length(end, extension);
}

}  // namespace lumacore::formats
