#include "disk/storage_descriptor.h"

#include "core/byte_reader.h"
#include "core/disk_info.h"

namespace lumacore {

namespace {

constexpr std::size_t kDescriptorHeaderSize = 0x20;  // up to and including the bus type
// The model field of a disk record holds 264 bytes with its terminating NUL.
constexpr std::size_t kMaxModelText = DiskInfo::kModelSize - 1;

}  // namespace

std::optional<StorageDescriptorFields> ParseStorageDescriptor(std::span<const std::byte> descriptor) {
    ByteReader r(descriptor);
    if (!r.has(0, kDescriptorHeaderSize)) return std::nullopt;
    StorageDescriptorFields fields;
    fields.deviceType = r.u8(8);
    fields.removable = r.u8(10) != 0;
    fields.busType = r.u32le(28);
    const std::size_t vendorAt = r.u32le(12);
    const std::size_t productAt = r.u32le(16);
    const std::string product = r.zstring(productAt, kMaxModelText);
    if (r.has(vendorAt, 1) && r.u8(vendorAt) == '(') {
        fields.modelText = product;
    } else {
        fields.modelText = r.zstring(vendorAt, kMaxModelText) + " " + product;
    }
    if (fields.modelText.size() > kMaxModelText) fields.modelText.resize(kMaxModelText);
    return fields;
}

}  // namespace lumacore
