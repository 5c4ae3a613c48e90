#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumacore {

// One physical disk (or attached disk image). Its 288-byte little-endian form is stored byte for byte
// in partition backup files.
struct DiskInfo {
    static constexpr std::size_t kStoredSize = 288;
    static constexpr std::size_t kModelSize = 264;

    static constexpr std::size_t kOffModel = 0;
    static constexpr std::size_t kOffSizeBytes = 264;
    static constexpr std::size_t kOffRemovable = 272;
    static constexpr std::size_t kOffDiskNumber = 276;
    static constexpr std::size_t kOffBusType = 280;

    std::array<char, kModelSize> model{};
    std::uint64_t sizeBytes = 0;
    std::uint32_t removable = 0;
    std::int32_t diskNumber = 0;
    std::uint32_t busType = 0;

    std::string Model() const;
    void SetModel(std::string_view text);

    std::array<std::byte, kStoredSize> Serialize() const;
    static DiskInfo Deserialize(std::span<const std::byte, kStoredSize> bytes);

    bool operator==(const DiskInfo&) const = default;
};

// Storage bus type numbers, as storage drivers report them.
enum BusType : std::uint32_t {
    kBusUnknown = 0,
    kBusScsi = 1,
    kBusAtapi = 2,
    kBusAta = 3,
    kBus1394 = 4,
    kBusSsa = 5,
    kBusFibre = 6,
    kBusUsb = 7,
    kBusRaid = 8,
    kBusIscsi = 9,
    kBusSas = 10,
    kBusSata = 11,
    kBusSd = 12,
    kBusMmc = 13,
    kBusVirtual = 14,
    kBusFileBackedVirtual = 15,
    kBusSpaces = 16,
    kBusNvme = 17,
};

// The name shown for a bus type; empty for numbers without a name.
const char* BusTypeName(std::uint32_t busType);

}  // namespace lumacore
