#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace lumacore {

// LZNT1, the compression of NTFS compressed files and of the signature file's stored form. A stream
// is a sequence of chunks, each a 2-byte header followed by at most 4096 bytes of data that expand
// to at most 4096 bytes; a header of 0 ends the stream.
inline constexpr std::size_t kLznt1ChunkSize = 4096;

// Decompresses `input` into `output` and returns the number of bytes produced, or nullopt when the
// input is not a valid LZNT1 stream or would not fit into `output`. A chunk that expands to less
// than 4096 bytes and is followed by another chunk stands for a whole chunk: the rest of it reads
// as zeros. The stream ends at a zero header or where the input ends.
std::optional<std::size_t> Lznt1Decompress(std::span<const std::byte> input, std::span<std::byte> output);

// Compresses `input` into an LZNT1 stream (chunks that do not shrink are stored uncompressed),
// without the terminating zero header.
std::vector<std::byte> Lznt1Compress(std::span<const std::byte> input);

}  // namespace lumacore
