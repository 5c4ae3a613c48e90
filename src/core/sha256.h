#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumacore {

// SHA-256 over data given in pieces, for the digests listed in the carving report and the recovery
// reports. Every recovered byte passes through it, so on x86 CPUs with the SHA extensions the
// compression runs on them (about six times the portable code's speed); other CPUs take the portable
// code. Both give the same digests.
class Sha256 {
  public:
    Sha256();
    void Update(std::span<const std::byte> data);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string HexDigest();

  private:
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalBytes_ = 0;
};

namespace sha256_detail {

// Whether this CPU has the SHA extensions (and the SSE4.1 the code around them needs).
bool CpuHasShaExtensions();

// For tests: true makes every Sha256 use the portable code, false goes back to the fastest the CPU has.
void ForcePortable(bool portable);

}  // namespace sha256_detail

}  // namespace lumacore
