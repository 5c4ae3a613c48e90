#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumacore {

// The CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), the checksum GPT headers and entry arrays
// carry. `previous` continues a checksum over bytes that arrive in pieces.
std::uint32_t Crc32(std::span<const std::byte> bytes, std::uint32_t previous = 0);

}  // namespace lumacore
