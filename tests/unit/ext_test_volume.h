#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_source.h"
#include "core/partition_info.h"

namespace lumacore::testing {

// A small EXT volume built byte by byte: one group, 1 KiB blocks unless told otherwise.
// Layout: block 1 superblock, 2 descriptors, 3 block bitmap, 4 inode bitmap, 5.. inode table, data after.
class ExtTestVolume {
  public:
    static constexpr std::uint32_t kBlockBitmap = 3;
    static constexpr std::uint32_t kInodeBitmap = 4;
    static constexpr std::uint32_t kInodeTable = 5;

    // `heldBlocks` (when not 0) keeps only that many blocks in memory: enough for superblock tests.
    explicit ExtTestVolume(std::uint32_t blocks = 512, std::uint32_t inodes = 64,
                           std::uint32_t inodeSize = 128, std::uint32_t blockSize = 1024,
                           std::uint32_t heldBlocks = 0)
        : blockSize_(blockSize),
          inodeSize_(inodeSize),
          bytes_(std::size_t{heldBlocks != 0 ? heldBlocks : blocks} * blockSize) {
        const std::size_t sb = 1024;
        Put32(sb + 0, inodes);
        Put32(sb + 4, blocks);
        Put32(sb + 20, blockSize == 1024 ? 1 : 0);
        std::uint32_t log = 0;
        while ((1024u << log) < blockSize) ++log;
        Put32(sb + 24, log);
        Put32(sb + 32, 8 * blockSize);
        Put32(sb + 40, inodes);
        Put16(sb + 0x38, 0xEF53);
        Put32(sb + 76, 1);  // revision 1: the inode size field counts
        Put16(sb + 88, static_cast<std::uint16_t>(inodeSize));
        const std::size_t gd = std::size_t{DescriptorBlock()} * blockSize;
        Put32(gd + 0, kBlockBitmap);
        Put32(gd + 4, kInodeBitmap);
        Put32(gd + 8, kInodeTable);
    }

    std::uint32_t DescriptorBlock() const { return blockSize_ == 1024 ? 2 : 1; }
    std::uint32_t FirstFreeBlock() const {
        return kInodeTable + (InodeCount() * inodeSize_ + blockSize_ - 1) / blockSize_;
    }
    std::uint32_t InodeCount() const { return Get32(1024); }
    std::uint32_t blockSize() const { return blockSize_; }

    void SetJournalInode(std::uint32_t n) { Put32(1024 + 224, n); }
    void SetFeatureIncompat(std::uint32_t bits) { Put32(1024 + 96, bits); }

    std::size_t InodeOffset(std::uint32_t n) const {
        return std::size_t{kInodeTable} * blockSize_ + std::size_t{n - 1} * inodeSize_;
    }

    struct Inode {
        std::uint16_t mode = 0100644;
        std::uint64_t size = 0;
        std::uint32_t atime = 1700000000, ctime = 1700000000, mtime = 1700000000, dtime = 0;
        std::uint16_t links = 1;
        std::uint32_t flags = 0;
        std::uint32_t generation = 7;
        std::vector<std::uint32_t> pointers;  // up to 15 block pointers (block-map files)
        std::vector<std::byte> area;          // raw i_block bytes (extent files); wins over pointers
    };
    // Writes inode n into the live table (or into `target` at the inode's offset within its table block).
    void WriteInode(std::uint32_t n, const Inode& inode) { WriteInodeAt(bytes_, InodeOffset(n), inode); }
    static void WriteInodeAt(std::vector<std::byte>& out, std::size_t at, const Inode& inode) {
        PutAt(out, at + 0, inode.mode, 2);
        PutAt(out, at + 4, inode.size & 0xFFFFFFFF, 4);
        PutAt(out, at + 8, inode.atime, 4);
        PutAt(out, at + 12, inode.ctime, 4);
        PutAt(out, at + 16, inode.mtime, 4);
        PutAt(out, at + 20, inode.dtime, 4);
        PutAt(out, at + 26, inode.links, 2);
        PutAt(out, at + 28, (inode.size + 511) / 512, 4);
        PutAt(out, at + 32, inode.flags, 4);
        PutAt(out, at + 100, inode.generation, 4);
        PutAt(out, at + 108, inode.size >> 32, 4);
        if (!inode.area.empty()) {
            std::memcpy(out.data() + at + 40, inode.area.data(),
                        std::min<std::size_t>(60, inode.area.size()));
        } else {
            for (std::size_t i = 0; i < inode.pointers.size() && i < 15; ++i)
                PutAt(out, at + 40 + 4 * i, inode.pointers[i], 4);
        }
    }
    void SetInodeUsed(std::uint32_t n) {
        const std::size_t at = std::size_t{kInodeBitmap} * blockSize_ + (n - 1) / 8;
        bytes_[at] |= std::byte{static_cast<std::uint8_t>(1u << ((n - 1) % 8))};
    }

    std::byte* Block(std::uint32_t b) { return bytes_.data() + std::size_t{b} * blockSize_; }
    // Fills a data block with a recognisable byte pattern: byte i = (b * 7 + i) mod 251.
    void FillBlock(std::uint32_t b) {
        for (std::uint32_t i = 0; i < blockSize_; ++i)
            Block(b)[i] = std::byte{static_cast<std::uint8_t>((b * 7 + i) % 251)};
    }
    void PutBlock32(std::uint32_t b, std::size_t index, std::uint32_t value) {
        Put32(std::size_t{b} * blockSize_ + 4 * index, value);
    }
    void Put16(std::size_t at, std::uint64_t v) { PutAt(bytes_, at, v, 2); }
    void Put32(std::size_t at, std::uint64_t v) { PutAt(bytes_, at, v, 4); }
    void PutBe32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes_[at + static_cast<std::size_t>(i)] =
                std::byte{static_cast<std::uint8_t>(v >> (24 - 8 * i))};
    }
    std::uint32_t Get32(std::size_t at) const {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | std::to_integer<std::uint32_t>(bytes_[at + static_cast<std::size_t>(i)]);
        return v;
    }
    // A directory entry at byte `at` of block b.
    void PutDirEntry(std::uint32_t b, std::size_t at, std::uint32_t inode, std::uint16_t recLen,
                     std::uint8_t type, const std::string& name) {
        const std::size_t base = std::size_t{b} * blockSize_ + at;
        Put32(base, inode);
        Put16(base + 4, recLen);
        bytes_[base + 6] = std::byte{static_cast<std::uint8_t>(name.size())};
        bytes_[base + 7] = std::byte{type};
        std::memcpy(bytes_.data() + base + 8, name.data(), name.size());
    }
    // "." and ".." of 12 bytes each, then the rest of the block as one entry to fill in.
    void PutDirectoryHead(std::uint32_t b, std::uint32_t self, std::uint32_t parent) {
        PutDirEntry(b, 0, self, 12, 2, ".");
        PutDirEntry(b, 12, parent, 12, 2, "..");
    }

    std::vector<std::byte>& bytes() { return bytes_; }
    std::unique_ptr<MemorySource> Source() const { return std::make_unique<MemorySource>(bytes_); }
    static PartitionInfo Partition(const char* fsName) {
        PartitionInfo p;
        p.SetFsName(fsName);
        p.SetVolumeLabel("TESTVOL");
        p.driveLetter = '*';
        return p;
    }

    static void PutAt(std::vector<std::byte>& out, std::size_t at, std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out[at + static_cast<std::size_t>(i)] = std::byte{static_cast<std::uint8_t>(v >> (8 * i))};
    }

  private:
    std::uint32_t blockSize_;
    std::uint32_t inodeSize_;
    std::vector<std::byte> bytes_;
};

}  // namespace lumacore::testing
