#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace lumacore {

// One bit per cluster number, with a fast search for the next clear bit: finding the next free
// cluster past a long stretch of live data must not walk it one cluster at a time. A second level
// marks the words that are all set, so a search skips 4,096 clusters per step over a full volume.
class FatClusterBitmap {
  public:
    FatClusterBitmap() = default;
    explicit FatClusterBitmap(std::uint64_t size)
        : size_(size), words_((size + 63) / 64, 0), fullWords_((words_.size() + 63) / 64, 0) {}

    std::uint64_t size() const { return size_; }
    bool test(std::uint64_t i) const { return i < size_ && (words_[i / 64] >> (i % 64) & 1) != 0; }
    void set(std::uint64_t i) {
        if (i >= size_) return;
        std::uint64_t& word = words_[i / 64];
        word |= std::uint64_t{1} << (i % 64);
        if (word == ~std::uint64_t{0}) fullWords_[i / 4096] |= std::uint64_t{1} << (i / 64 % 64);
    }

    // The first clear bit at or after `from`; size() when there is none.
    std::uint64_t NextClear(std::uint64_t from) const {
        while (from < size_) {
            const std::uint64_t word = ~words_[from / 64] >> (from % 64);
            if (word != 0) {
                const std::uint64_t at = from + static_cast<std::uint64_t>(std::countr_zero(word));
                return at < size_ ? at : size_;
            }
            // Past this word: the next word that is not full, found 64 words at a time.
            std::uint64_t w = from / 64 + 1;
            while (w < words_.size()) {
                const std::uint64_t open = ~fullWords_[w / 64] >> (w % 64);
                if (open != 0) {
                    w += static_cast<std::uint64_t>(std::countr_zero(open));
                    break;
                }
                w = (w / 64 + 1) * 64;
            }
            from = w * 64;
        }
        return size_;
    }

  private:
    std::uint64_t size_ = 0;
    std::vector<std::uint64_t> words_;
    std::vector<std::uint64_t> fullWords_;  // bit w: words_[w] has every bit set
};

}  // namespace lumacore
