#include "core/sha256.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace lumacore {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotate(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

// Compresses `blocks` consecutive 64-byte blocks into the state, the way FIPS 180-4 writes it.
void CompressPortable(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = std::uint32_t{data[4 * i]} << 24 | std::uint32_t{data[4 * i + 1]} << 16 |
                   std::uint32_t{data[4 * i + 2]} << 8 | data[4 * i + 3];
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                      g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 =
                h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const std::uint32_t t2 =
                (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if defined(__x86_64__) || defined(__i386__)
#define LUMACORE_SHA_EXTENSIONS 1

// The same compression on the SHA extensions. The instructions keep the state as the pairs ABEF and
// CDGH and take four message words at a time: each group of four rounds adds its round constants,
// runs two double rounds, and meanwhile extends the message schedule (msg1 for the word 16 back, the
// word 7 back by alignr, msg2 to finish) for the group three ahead.
__attribute__((target("sha,sse4.1"))) void CompressShaExtensions(std::uint32_t* state,
                                                                  const std::uint8_t* data,
                                                                  std::size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i m[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i& current = m[group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byteSwap);
            }
            __m128i words = _mm_add_epi32(
                current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
            if (group >= 3 && group <= 14) {
                __m128i& next = m[(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, m[(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            words = _mm_shuffle_epi32(words, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, words);
            if (group >= 1 && group <= 12) {
                __m128i& previous = m[(group + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, current);
            }
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

bool DetectShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}
#endif

using Compress = void (*)(std::uint32_t*, const std::uint8_t*, std::size_t);

Compress FastestCompress() {
#ifdef LUMACORE_SHA_EXTENSIONS
    if (sha256_detail::CpuHasShaExtensions()) return CompressShaExtensions;
#endif
    return CompressPortable;
}

// Chosen once; a test may switch it while no digest is being computed.
std::atomic<Compress> gCompress{FastestCompress()};

}  // namespace

namespace sha256_detail {

bool CpuHasShaExtensions() {
#ifdef LUMACORE_SHA_EXTENSIONS
    static const bool has = DetectShaExtensions();
    return has;
#else
    return false;
#endif
}

void ForcePortable(bool portable) {
    gCompress.store(portable ? CompressPortable : FastestCompress(), std::memory_order_relaxed);
}

}  // namespace sha256_detail

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {
}

void Sha256::Update(std::span<const std::byte> data) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    std::size_t left = data.size();
    totalBytes_ += left;
    const Compress compress = gCompress.load(std::memory_order_relaxed);
    if (pendingLength_ > 0) {
        const std::size_t take = std::min(left, pending_.size() - pendingLength_);
        std::memcpy(pending_.data() + pendingLength_, bytes, take);
        pendingLength_ += take;
        bytes += take;
        left -= take;
        if (pendingLength_ < pending_.size()) return;
        compress(state_.data(), pending_.data(), 1);
        pendingLength_ = 0;
    }
    if (left >= 64) {
        compress(state_.data(), bytes, left / 64);
        bytes += left / 64 * 64;
        left %= 64;
    }
    if (left > 0) std::memcpy(pending_.data(), bytes, left);
    pendingLength_ = left;
}

std::string Sha256::HexDigest() {
    const std::uint64_t bits = totalBytes_ * 8;
    static constexpr std::byte kOne[1] = {std::byte{0x80}};
    static constexpr std::byte kZeros[64] = {};
    Update(kOne);
    Update(std::span<const std::byte>(kZeros, (pendingLength_ <= 56 ? 56 : 120) - pendingLength_));
    std::byte length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<std::byte>(bits >> (56 - 8 * i));
    Update(length);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : state_) {
        for (int shift = 28; shift >= 0; shift -= 4) hex.push_back(kDigits[(word >> shift) & 15]);
    }
    return hex;
}

}  // namespace lumacore
