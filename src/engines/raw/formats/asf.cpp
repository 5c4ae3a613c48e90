// ASF (WMV, WMA): top-level objects, each a GUID and a 64-bit size, from the header object on.
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

FormatVerdict ParseAsf(CarveInput& in) {
    // Top-level objects: a GUID and a 64-bit size. The header object comes first.
    static constexpr std::uint32_t kHeader = 0x75B22630u, kData = 0x75B22636u, kSimpleIndex = 0x33000890u,
                                   kIndex = 0xD6E229D3u, kMediaIndex = 0xFEB103F8u,
                                   kTimecodeIndex = 0x3CB73FD0u;
    std::uint64_t at = 0;
    for (int objects = 0; objects < 1024; ++objects) {
        const auto guid = in.U32le(at);
        const auto size = in.U64le(at + 16);
        if (!guid || !size) return objects == 0 ? FormatVerdict::Unknown() : FormatVerdict::Length(at);
        const bool known = *guid == kHeader || *guid == kData || *guid == kSimpleIndex || *guid == kIndex ||
                           *guid == kMediaIndex || *guid == kTimecodeIndex;
        if (objects == 0 && *guid != kHeader) return FormatVerdict::Reject();
        if (!known || *size < 24) return objects == 0 ? FormatVerdict::Reject() : FormatVerdict::Length(at);
        if (*size > in.limit() - std::min(at, in.limit())) return FormatVerdict::Unknown();
        at += *size;
    }
    return FormatVerdict::Length(at);
}

}  // namespace lumacore::formats
