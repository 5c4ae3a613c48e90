// Archives whose headers state their length or whose blocks chain to an end block: 7z, RAR 4 and 5,
// Microsoft cabinets, Unix ar (Debian packages), tar and ISO 9660 images.
#include <zlib.h>

#include <array>

#include "engines/raw/formats/format_parsers.h"

namespace lumacore::formats {

namespace {

constexpr int kMaxBlocks = 1000000;

std::uint32_t Crc(CarveInput& in, std::uint64_t at, std::size_t n) {
    const auto bytes = in.Window(at, n);
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// A RAR 5 variable-length integer: 7 bits a byte, at most 10 bytes.
std::optional<std::uint64_t> Vint(CarveInput& in, std::uint64_t& at) {
    std::uint64_t value = 0;
    for (int i = 0; i < 10; ++i) {
        const auto b = in.U8(at++);
        if (!b) return std::nullopt;
        value |= std::uint64_t{*b & 0x7Fu} << (7 * i);
        if (!(*b & 0x80)) return value;
    }
    return std::nullopt;
}

FormatVerdict ParseRar4(CarveInput& in) {
    std::uint64_t at = 7;
    bool sawMain = false;
    for (int blocks = 0; blocks < kMaxBlocks; ++blocks) {
        const auto crc = in.U16le(at);
        const auto type = in.U8(at + 2);
        const auto flags = in.U16le(at + 3);
        const auto size = in.U16le(at + 5);
        if (!crc || !type || !flags || !size) return FormatVerdict::Unknown();
        if (*type < 0x72 || *type > 0x7B || *size < 7) {
            return sawMain && blocks > 1 ? FormatVerdict::Length(at) : FormatVerdict::Reject();
        }
        if (blocks == 0) {
            if (*type != 0x73 || (Crc(in, at + 2, *size - 2u) & 0xFFFF) != *crc)
                return FormatVerdict::Reject();
            sawMain = true;
        }
        std::uint64_t total = *size;
        if (*flags & 0x8000) {
            const auto add = in.U32le(at + 7);
            if (!add) return FormatVerdict::Unknown();
            total += *add;
            if (*type == 0x74 && (*flags & 0x100)) {
                const auto high = in.U32le(at + 32);
                if (!high) return FormatVerdict::Unknown();
                total += std::uint64_t{*high} << 32;
            }
        }
        if (*type == 0x7B) return FormatVerdict::Length(at + *size);
        at += total;
        if (at > in.limit()) return FormatVerdict::Unknown();
    }
    return FormatVerdict::Unknown();
}

FormatVerdict ParseRar5(CarveInput& in) {
    std::uint64_t at = 8;
    for (int blocks = 0; blocks < kMaxBlocks; ++blocks) {
        const auto crc = in.U32le(at);
        std::uint64_t p = at + 4;
        const auto headerSize = Vint(in, p);
        if (!crc || !headerSize) return FormatVerdict::Unknown();
        if (*headerSize == 0 || *headerSize > (2u << 20))
            return blocks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        const std::uint64_t headerStart = p;
        if (Crc(in, at + 4, static_cast<std::size_t>(p - at - 4 + *headerSize)) != *crc) {
            return blocks == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        }
        const auto type = Vint(in, p);
        const auto flags = Vint(in, p);
        if (!type || !flags) return FormatVerdict::Unknown();
        std::uint64_t dataSize = 0;
        if (*flags & 1) {
            if (!Vint(in, p)) return FormatVerdict::Unknown();
        }
        if (*flags & 2) {
            const auto data = Vint(in, p);
            if (!data) return FormatVerdict::Unknown();
            dataSize = *data;
        }
        const std::uint64_t next = headerStart + *headerSize + dataSize;
        if (*type == 5) return FormatVerdict::Length(next);
        if (next > in.limit() || next < at) return FormatVerdict::Unknown();
        at = next;
    }
    return FormatVerdict::Unknown();
}

}  // namespace

FormatVerdict Parse7z(CarveInput& in) {
    if (!in.Equals(0, "7z\xBC\xAF\x27\x1C")) return FormatVerdict::Reject();
    const auto major = in.U8(6);
    const auto startCrc = in.U32le(8);
    const auto nextOffset = in.U64le(12);
    const auto nextSize = in.U64le(20);
    if (!major || !startCrc || !nextOffset || !nextSize) return FormatVerdict::Unknown();
    if (*major != 0 || Crc(in, 12, 20) != *startCrc) return FormatVerdict::Reject();
    if (*nextOffset > in.limit() || *nextSize > in.limit()) return FormatVerdict::Unknown();
    return FormatVerdict::Length(32 + *nextOffset + *nextSize);
}

FormatVerdict ParseRar(CarveInput& in) {
    if (in.Equals(0, std::string_view("Rar!\x1a\x07\x00", 7))) return ParseRar4(in);
    if (in.Equals(0, std::string_view("Rar!\x1a\x07\x01\x00", 8))) return ParseRar5(in);
    return FormatVerdict::Reject();
}

FormatVerdict ParseCab(CarveInput& in) {
    if (!in.Equals(0, std::string_view("MSCF\0\0\0\0", 8))) return FormatVerdict::Reject();
    const auto size = in.U32le(8);
    const auto filesAt = in.U32le(16);
    const auto minor = in.U8(24);
    const auto major = in.U8(25);
    if (!size || !filesAt || !minor || !major) return FormatVerdict::Unknown();
    if (*major != 1 || *minor != 3 || *filesAt >= *size || *size < 36) return FormatVerdict::Reject();
    return FormatVerdict::Length(*size);
}

FormatVerdict ParseAr(CarveInput& in) {
    if (!in.Equals(0, "!<arch>\n")) return FormatVerdict::Reject();
    std::uint64_t at = 8;
    std::string_view extension;
    for (int members = 0; members < kMaxBlocks; ++members) {
        const auto header = in.Window(at, 60);
        if (header.size() < 60)
            return members == 0 ? FormatVerdict::Unknown() : FormatVerdict::Length(at, extension);
        const std::string_view text(reinterpret_cast<const char*>(header.data()), 60);
        if (text.substr(58, 2) != "`\n")
            return members == 0 ? FormatVerdict::Reject() : FormatVerdict::Length(at, extension);
        if (members == 0 && text.starts_with("debian-binary")) extension = "deb";
        std::uint64_t size = 0;
        for (const char c : text.substr(48, 10)) {
            if (c == ' ') break;
            if (c < '0' || c > '9') return FormatVerdict::Reject();
            size = size * 10 + static_cast<std::uint64_t>(c - '0');
        }
        at += 60 + size + (size & 1);
        if (at > in.limit()) return FormatVerdict::Unknown(extension);
    }
    return FormatVerdict::Unknown(extension);
}

FormatVerdict ParseTar(CarveInput& in) {
    // 512-byte headers with an octal size; two zero blocks end the archive.
    std::uint64_t at = 0;
    for (int members = 0; members < kMaxBlocks; ++members) {
        const auto header = in.Window(at, 512);
        if (header.size() < 512) return FormatVerdict::Unknown();
        const std::string_view text(reinterpret_cast<const char*>(header.data()), 512);
        if (text.find_first_not_of('\0') == std::string_view::npos) {
            return members == 0 ? FormatVerdict::Reject() : FormatVerdict::Length(at + 1024);
        }
        if (text.substr(257, 5) != "ustar")
            return members == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < 512; ++i)
            sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(text[i]);
        std::uint64_t stored = 0, size = 0;
        for (const char c : text.substr(148, 8)) {
            if (c >= '0' && c <= '7') stored = stored * 8 + static_cast<std::uint64_t>(c - '0');
        }
        if (stored != sum) return members == 0 ? FormatVerdict::Reject() : FormatVerdict::Partial(at);
        for (const char c : text.substr(124, 12)) {
            if (c >= '0' && c <= '7') size = size * 8 + static_cast<std::uint64_t>(c - '0');
        }
        at += 512 + (size + 511) / 512 * 512;
        if (at > in.limit()) return FormatVerdict::Unknown();
    }
    return FormatVerdict::Unknown();
}

FormatVerdict ParseIso9660(CarveInput& in) {
    if (!in.Equals(32769, "CD001")) return FormatVerdict::Reject();
    const auto kind = in.U8(32768);
    const auto blocks = in.U32le(32768 + 80);
    const auto blockSize = in.U16le(32768 + 128);
    if (!kind || !blocks || !blockSize) return FormatVerdict::Unknown();
    if (*kind != 1 || (*blockSize != 512 && *blockSize != 1024 && *blockSize != 2048))
        return FormatVerdict::Reject();
    return FormatVerdict::Length(std::uint64_t{*blocks} * *blockSize);
}

}  // namespace lumacore::formats
