#include "partition/partition_entry.h"

#include "core/byte_reader.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;
constexpr std::uint32_t kLastChsSector = 1024 * kHeads * kSectorsPerTrack - 1;  // 16,450,559

void PutChs(std::span<std::byte> sector, std::size_t at, ChsAddress chs) {
    sector[at] = std::byte{chs.head};
    sector[at + 1] = std::byte{chs.sectorByte};
    sector[at + 2] = std::byte{chs.cylinderByte};
}

}  // namespace

ChsAddress LbaToChs(std::uint32_t sector) {
    if (sector > kLastChsSector) return ChsAddress{0xFE, 0xFF, 0xFF};
    const std::uint32_t cylinder = sector / (kHeads * kSectorsPerTrack);
    const std::uint32_t head = (sector / kSectorsPerTrack) % kHeads;
    const std::uint32_t sectorNumber = sector % kSectorsPerTrack + 1;
    return ChsAddress{static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(((cylinder / 256) * 64) | sectorNumber),
                      static_cast<std::uint8_t>(cylinder % 256)};
}

void FillTableEntry(std::span<std::byte> sector, int index, std::uint8_t type, std::uint32_t first,
                    std::uint32_t count) {
    const std::size_t at = 0x1BE + static_cast<std::size_t>(index) * 16;
    sector[at] = std::byte{0};
    PutChs(sector, at + 1, LbaToChs(first));
    sector[at + 4] = std::byte{type};
    PutChs(sector, at + 5, LbaToChs(first + count - 1));
    PutLe(sector, at + 8, first, 4);
    PutLe(sector, at + 12, count, 4);
}

}  // namespace lumacore
