#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace lumacore {

// The fields of a storage descriptor (the storage-property answer) that the inventory uses.
struct StorageDescriptorFields {
    std::uint8_t deviceType = 0;  // 0 = direct-access block device; anything else is not a disk
    bool removable = false;
    std::uint32_t busType = 0;
    std::string modelText;
};

// Reads a storage descriptor. The model text is the product text alone when the byte at the vendor
// offset is '(' (a vendor offset of 0 points at the descriptor's own first byte, the version 0x28,
// so a missing vendor lands there); otherwise the vendor text, one space, then the product text.
// Texts are copied as stored, trailing spaces included, and cut to fit a disk record's model field.
// Empty when the buffer is too short to be a descriptor.
std::optional<StorageDescriptorFields> ParseStorageDescriptor(std::span<const std::byte> descriptor);

}  // namespace lumacore
