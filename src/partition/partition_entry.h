#pragma once

#include <cstdint>
#include <span>

namespace lumacore {

// Cylinder-head-sector address of a sector on a disk of 255 heads and 63 sectors per track, as the
// three bytes of a partition-table entry hold it.
struct ChsAddress {
    std::uint8_t head = 0;
    std::uint8_t sectorByte = 0;    // sector (1..63) and the two high bits of the cylinder
    std::uint8_t cylinderByte = 0;  // low eight bits of the cylinder
};

// Sectors past what 1024 cylinders can address get the conventional maximum (1023, 254, 63).
ChsAddress LbaToChs(std::uint32_t sector);

// Fills the 16-byte entry `index` (0..3) of a table sector: status 0, type, first sector and count,
// with the CHS addresses of the first and last sector. `first` is what the entry stores (relative to
// the extended partition or the extended boot record where the entry lives there).
void FillTableEntry(std::span<std::byte> sector, int index, std::uint8_t type, std::uint32_t first,
                    std::uint32_t count);

}  // namespace lumacore
