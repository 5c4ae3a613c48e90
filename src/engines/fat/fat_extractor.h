#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/byte_source.h"
#include "core/partition_info.h"
#include "engines/fat/fat_boot_sector.h"
#include "engines/fat/fat_file_node.h"

namespace lumacore {

// What the user is told when the volume cannot be read at the start of a recovery.
constexpr const char* kCannotOpenDevice = "Can not open physical device!!";
constexpr const char* kCannotAccessDevice = "Can not access to this physical device!!";
constexpr const char* kCannotReadDevice = "Can not read data from this physical device!!";

// Reads the data of found FAT files. A file is read along the cluster runs the scan worked out for it;
// without them (the scan could not tell) as one run of consecutive sectors from its first cluster,
// bounded only by its size: deleted files have no FAT chain left to follow.
class FatExtractor {
  public:
    // Reads the volume's boot sector (the jump byte is not tested here). A failed read carries
    // kCannotReadDevice as its message.
    static Result<FatExtractor> Open(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    const FatGeometry& geometry() const { return geometry_; }

    // Byte offset on the disk where a file's data begins; an error when its first cluster is not a data
    // cluster of the volume.
    Result<std::uint64_t> DataOffset(const FatFileNode& node) const;

    // Bytes from the file's first cluster to the end of the volume's data region: all a file can hold.
    std::uint64_t BytesToVolumeEnd(const FatFileNode& node) const;

    // Reads up to out.size() bytes of the file from `offset`, never past its size nor the volume's end.
    // Sectors that cannot be read, and data past the end of the file's known runs, come back as zeros and
    // make the result an error after the whole range was tried. A file of size 0 reads nothing and is no
    // error.
    Result<std::size_t> Read(const FatFileNode& node, std::uint64_t offset, std::span<std::byte> out);

    // Hands the whole file to `sink` in large blocks, in order. A size past the volume's end hands on
    // what the volume holds and fails with kSizeBeyondVolume.
    Result<void> Copy(const FatFileNode& node,
                      const std::function<Result<void>(std::span<const std::byte>)>& sink);

    // Where the data at a file offset lies on the disk and how many bytes of it follow there in one piece
    // (0 when the known runs end before it).
    struct Piece {
        std::uint64_t diskOffset = 0;
        std::uint64_t length = 0;
    };

    // The pieces the file's data is read from, in file order, as far as its known runs and the volume
    // reach (for the recovery report).
    std::vector<Piece> DiskPieces(const FatFileNode& node) const;

  private:
    Result<Piece> PieceAt(const FatFileNode& node, std::uint64_t offset) const;
    // Reads one piece; unreadable sectors become zeros and make it false.
    bool ReadPiece(std::uint64_t diskOffset, std::span<std::byte> target);

    FatExtractor(std::unique_ptr<ByteSource> disk, std::uint64_t volumeOffset, FatGeometry geometry)
        : disk_(std::move(disk)), volumeOffset_(volumeOffset), geometry_(geometry) {}

    std::unique_ptr<ByteSource> disk_;
    std::uint64_t volumeOffset_ = 0;
    FatGeometry geometry_;
};

}  // namespace lumacore
