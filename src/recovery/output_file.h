#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/result.h"
#include "core/sha256.h"
#include "recovery/background_hasher.h"

namespace lumacore {

// The file a recovered file's data goes into, as the copy step sees it: bytes are appended from offset
// 0 on, or skipped to leave a hole; nothing else can be done to the file. The writer owns the descriptor.
// With a digest, every byte written (holes as the zeros they read as) is hashed on its way out, so the
// file's sha256 costs no second read.
class OutputFile {
  public:
    // Bytes past `hashedBytes` (a copy that writes whole clusters past the file's end) are written but
    // not hashed: the writer cuts them off.
    // With a `hasher`, large blocks are hashed on its thread; FinishHashing (or the destructor) waits
    // for them.
    OutputFile(int fd, std::string name, Sha256* digest = nullptr, std::uint64_t hashedBytes = 0,
               BackgroundHasher* hasher = nullptr)
        : fd_(fd), name_(std::move(name)), digest_(digest), hashedBytes_(hashedBytes), hasher_(hasher) {}
    ~OutputFile() { FinishHashing(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Returns once every byte hashed so far is in the digest.
    void FinishHashing();

    // A copy of the digest of the bytes hashed so far (nullopt without a digest), for a caller that
    // reports the sha256 of what it handed over without hashing it a second time.
    std::optional<Sha256> DigestSoFar();

    // The file is hashed once written, by reading it back (the descriptor must be open for reading):
    // nothing is hashed on the way out, and DigestSoFar reads back what was written so far.
    void HashByReadingBack() { readBack_ = true; }
    // The digest DigestSoFar read back when it covered `size` bytes, so that the writer need not read
    // the file back a second time.
    std::optional<Sha256> ReadBackDigestOf(std::uint64_t size) const {
        return readBackDigest_ && readBackDigestBytes_ == size ? readBackDigest_ : std::nullopt;
    }
    // Bytes hashed so far: all written and skipped up to the file's size.
    std::uint64_t hashed() const { return hashed_; }

    // Appends all of `data` at the current position or fails; a short write is a failure.
    Result<void> Write(std::span<const std::byte> data);

    // Moves on by `bytes` without writing: the range stays a hole (it reads as zeros and takes no space)
    // once the writer sets the file's size.
    Result<void> Skip(std::uint64_t bytes);

    // Hashes `bytes` zeros: a hole, or the tail the writer extends the file by.
    void HashZeros(std::uint64_t bytes);

    // Where the next byte goes: bytes written and skipped.
    std::uint64_t written() const { return written_; }
    // Where the last byte actually written ends (a trailing skip is not written).
    std::uint64_t dataEnd() const { return dataEnd_; }
    const std::string& name() const { return name_; }

  private:
    void Hash(std::span<const std::byte> data);

    int fd_;
    std::string name_;  // for error messages
    Sha256* digest_;
    std::uint64_t hashedBytes_;
    BackgroundHasher* hasher_;
    bool handedOver_ = false;  // blocks are with the hasher
    bool readBack_ = false;
    std::optional<Sha256> readBackDigest_;
    std::uint64_t readBackDigestBytes_ = 0;
    std::uint64_t hashed_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t dataEnd_ = 0;
};

}  // namespace lumacore
