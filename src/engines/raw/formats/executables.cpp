// Executables: ELF and PE files end with the furthest of their header tables, sections and segments
// (and, for PE, the signature certificate that sits past the last section).
#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr std::uint32_t kMaxSections = 65535;

}  // namespace

FormatVerdict ParseElf(CarveInput& in) {
    if (in.U32be(0) != 0x7F454C46u) return FormatVerdict::Reject();
    const auto cls = in.U8(4);
    const auto data = in.U8(5);
    const auto version = in.U8(6);
    if (!cls || !data || !version) return FormatVerdict::Unknown();
    if ((*cls != 1 && *cls != 2) || (*data != 1 && *data != 2) || *version != 1)
        return FormatVerdict::Reject();
    const bool wide = *cls == 2;
    const bool big = *data == 2;
    auto u16 = [&](std::uint64_t at) -> std::optional<std::uint64_t> {
        const auto v = big ? in.U16be(at) : in.U16le(at);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    };
    auto word = [&](std::uint64_t at) -> std::optional<std::uint64_t> {
        if (wide) return big ? in.U64be(at) : in.U64le(at);
        const auto v = big ? in.U32be(at) : in.U32le(at);
        return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    };
    const auto phoff = word(wide ? 32 : 28);
    const auto shoff = word(wide ? 40 : 32);
    const auto phentsize = u16(wide ? 54 : 42);
    const auto phnum = u16(wide ? 56 : 44);
    const auto shentsize = u16(wide ? 58 : 46);
    const auto shnum = u16(wide ? 60 : 48);
    if (!phoff || !shoff || !phentsize || !phnum || !shentsize || !shnum) return FormatVerdict::Unknown();
    if ((*phnum != 0 && *phentsize < (wide ? 56u : 32u)) ||
        (*shnum != 0 && *shentsize < (wide ? 64u : 40u))) {
        return FormatVerdict::Reject();
    }
    if (*phoff > in.limit() || *shoff > in.limit()) return FormatVerdict::Unknown();
    std::uint64_t end = std::max<std::uint64_t>(wide ? 64 : 52, *phoff + *phnum * *phentsize);
    end = std::max(end, *shoff + *shnum * *shentsize);
    for (std::uint64_t i = 0; i < *phnum && i < kMaxSections; ++i) {
        const std::uint64_t at = *phoff + i * *phentsize;
        const auto offset = word(at + (wide ? 8 : 4));
        const auto size = word(at + (wide ? 32 : 16));
        if (!offset || !size) return FormatVerdict::Unknown();
        end = std::max(end, *offset + *size);
    }
    for (std::uint64_t i = 0; i < *shnum && i < kMaxSections; ++i) {
        const std::uint64_t at = *shoff + i * *shentsize;
        const auto type = big ? in.U32be(at + 4) : in.U32le(at + 4);
        const auto offset = word(at + (wide ? 24 : 16));
        const auto size = word(at + (wide ? 32 : 20));
        if (!type || !offset || !size) return FormatVerdict::Unknown();
        if (*type != 8) end = std::max(end, *offset + *size);  // NOBITS takes no room in the file
    }
    if (end > in.limit()) return FormatVerdict::Unknown();
    return FormatVerdict::Length(end);
}

FormatVerdict ParsePe(CarveInput& in) {
    if (!in.Equals(0, "MZ")) return FormatVerdict::Reject();
    const auto peAt = in.U32le(0x3C);
    if (!peAt) return FormatVerdict::Unknown();
    if (*peAt < 0x40 || *peAt > 0x10000) return FormatVerdict::Reject();
    if (!in.Equals(*peAt, std::string_view("PE\0\0", 4))) return FormatVerdict::Reject();
    const auto sections = in.U16le(*peAt + 6);
    const auto optionalSize = in.U16le(*peAt + 20);
    const auto characteristics = in.U16le(*peAt + 22);
    const auto magic = in.U16le(*peAt + 24);
    if (!sections || !optionalSize || !magic || !characteristics) return FormatVerdict::Unknown();
    if ((*magic != 0x10B && *magic != 0x20B) || *sections == 0 || *sections > 96)
        return FormatVerdict::Reject();
    const std::uint64_t optionalAt = *peAt + 24ull;
    const std::uint64_t tableAt = optionalAt + *optionalSize;
    std::uint64_t end = tableAt + 40ull * *sections;
    for (std::uint32_t i = 0; i < *sections; ++i) {
        const auto rawSize = in.U32le(tableAt + 40ull * i + 16);
        const auto rawAt = in.U32le(tableAt + 40ull * i + 20);
        if (!rawSize || !rawAt) return FormatVerdict::Unknown();
        if (*rawSize != 0) end = std::max(end, std::uint64_t{*rawAt} + *rawSize);
    }
    // The certificate table's entry holds a file offset, not an address.
    const std::uint64_t directories = optionalAt + (*magic == 0x20B ? 112 : 96);
    const auto count = in.U32le(directories - 4);
    if (count && *count > 4 && directories + 40 <= tableAt) {
        const auto certAt = in.U32le(directories + 32);
        const auto certSize = in.U32le(directories + 36);
        if (certAt && certSize && *certAt != 0) end = std::max(end, std::uint64_t{*certAt} + *certSize);
    }
    if (end > in.limit()) return FormatVerdict::Unknown();
    const bool dll = *characteristics & 0x2000;
    return FormatVerdict::Length(end, dll ? "dll" : "");
}

}  // namespace lumacore::formats
