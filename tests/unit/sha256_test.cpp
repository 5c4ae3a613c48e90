#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "core/sha256.h"

namespace lumacore {
namespace {

std::string Digest(std::span<const std::byte> data, std::size_t piece = 0) {
    Sha256 sha;
    if (piece == 0) {
        sha.Update(data);
    } else {
        for (std::size_t at = 0; at < data.size(); at += piece)
            sha.Update(data.subspan(at, std::min(piece, data.size() - at)));
    }
    return sha.HexDigest();
}

std::string Digest(const std::string& text, std::size_t piece = 0) {
    return Digest(std::as_bytes(std::span<const char>(text.data(), text.size())), piece);
}

// Runs the body with the portable code, then (when this CPU has them) with the SHA extensions.
template <typename Body>
void OnEveryPath(Body body) {
    sha256_detail::ForcePortable(true);
    {
        SCOPED_TRACE("portable");
        body();
    }
    sha256_detail::ForcePortable(false);
    if (sha256_detail::CpuHasShaExtensions()) {
        SCOPED_TRACE("SHA extensions");
        body();
    }
}

TEST(Sha256, StandardVectors) {
    OnEveryPath([] {
        EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        const std::string million(1000000, 'a');
        EXPECT_EQ(Digest(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
        EXPECT_EQ(Digest(million, 4093), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    });
}

// Every length around the padding boundaries (55/56/64 bytes and their multiples) and past several
// blocks, fed whole and in odd pieces that straddle block edges: the paths must agree byte for byte.
TEST(Sha256, PathsAgreeOnEveryLengthAndSplit) {
    std::vector<std::byte> data(1224);
    std::uint32_t seed = 12345;
    for (std::byte& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::byte>(seed >> 24);
    }
    std::vector<std::string> portable;
    sha256_detail::ForcePortable(true);
    for (std::size_t length = 0; length <= data.size(); ++length)
        portable.push_back(Digest(std::span<const std::byte>(data).first(length)));

    OnEveryPath([&] {
        for (std::size_t length = 0; length <= data.size(); ++length) {
            const auto part = std::span<const std::byte>(data).first(length);
            for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{63},
                                      std::size_t{65}, std::size_t{129}, std::size_t{311}}) {
                ASSERT_EQ(Digest(part, piece), portable[length]) << "length " << length << " piece " << piece;
            }
        }
    });
}

}  // namespace
}  // namespace lumacore
