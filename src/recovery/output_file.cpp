#include "recovery/output_file.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include "recovery/readback_hasher.h"

namespace lumacore {

namespace {

// Blocks from this size on are hashed on the hasher's thread; below it the copy and the hand-over
// would cost about what hashing does (small files are hashed where they are written).
constexpr std::size_t kBackgroundHashBytes = 128 * 1024;

// The engines hand over 1 MiB blocks (large reads), but the page cache takes them faster in pieces of
// this size, as cp writes: a 1 MiB pwrite cost twice the system time and left writeback slower (the
// final sync of 1 GiB of large files took 1.9-2.3 s against 0.8-1.5 s), measured on ext4 (Linux 6.18).
constexpr std::size_t kWritePieceBytes = 128 * 1024;

}  // namespace

Result<void> OutputFile::Write(std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t at = written_ + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - (data.size() - done)) {
            return Error::Io("file too large: " + name_, EFBIG, at);
        }
        const std::size_t piece = std::min(kWritePieceBytes, data.size() - done);
        const ssize_t n = ::pwrite(fd_, data.data() + done, piece, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            written_ += done;
            return Error::Io("write error on " + name_ + ": " + std::strerror(code), code, at);
        }
        if (n == 0) {  // no progress: retrying would spin for ever
            written_ += done;
            return Error::Io("write error on " + name_ + ": " + std::strerror(ENOSPC), ENOSPC, at);
        }
        done += static_cast<std::size_t>(n);
    }
    written_ += done;
    dataEnd_ = written_;
    Hash(data);
    return {};
}

void OutputFile::Hash(std::span<const std::byte> data) {
    if (digest_ == nullptr || hashed_ >= hashedBytes_) return;
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), hashedBytes_ - hashed_));
    if (hasher_ != nullptr && piece >= kBackgroundHashBytes) {
        hasher_->Add(*digest_, data.first(piece));
        handedOver_ = true;
    } else {
        FinishHashing();  // the digest takes its bytes in order
        digest_->Update(data.first(piece));
    }
    hashed_ += piece;
}

std::optional<Sha256> OutputFile::DigestSoFar() {
    if (readBack_) {
        const std::uint64_t bytes = std::min(written_, hashedBytes_);
        Sha256 digest;
        if (!HashWrittenBytes(fd_, std::min(dataEnd_, bytes), bytes, digest)) return std::nullopt;
        readBackDigest_ = digest;
        readBackDigestBytes_ = bytes;
        return digest;
    }
    if (digest_ == nullptr) return std::nullopt;
    FinishHashing();
    return *digest_;
}

void OutputFile::FinishHashing() {
    if (!handedOver_) return;
    hasher_->Wait();
    handedOver_ = false;
}

void OutputFile::HashZeros(std::uint64_t bytes) {
    static constexpr std::array<std::byte, 64 * 1024> kZeros{};
    while (bytes > 0 && digest_ != nullptr && hashed_ < hashedBytes_) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kZeros.size()));
        Hash(std::span<const std::byte>(kZeros.data(), piece));
        bytes -= piece;
    }
}

Result<void> OutputFile::Skip(std::uint64_t bytes) {
    if (bytes > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - written_) {
        return Error::Io("file too large: " + name_, EFBIG, written_);
    }
    HashZeros(bytes);
    written_ += bytes;
    return {};
}

}  // namespace lumacore
