#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumacore {

// SHA-256 over data given in pieces, for the digests listed in the carving report.
class Sha256 {
  public:
    Sha256();
    void Update(std::span<const std::byte> data);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string HexDigest();

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace lumacore
