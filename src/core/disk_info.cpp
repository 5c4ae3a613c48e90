#include "core/disk_info.h"

#include <algorithm>

#include "core/byte_reader.h"
#include "core/fixed_text.h"

namespace lumacore {

static_assert(DiskInfo::kOffModel + DiskInfo::kModelSize == DiskInfo::kOffSizeBytes);
static_assert(DiskInfo::kOffBusType + 4 + 4 == DiskInfo::kStoredSize);

std::string DiskInfo::Model() const { return FixedText(model); }
void DiskInfo::SetModel(std::string_view text) { SetFixedText(model, text); }

std::array<std::byte, DiskInfo::kStoredSize> DiskInfo::Serialize() const {
    std::array<std::byte, kStoredSize> out{};
    std::copy_n(reinterpret_cast<const std::byte*>(model.data()), model.size(), out.begin() + kOffModel);
    PutLe(out, kOffSizeBytes, sizeBytes, 8);
    PutLe(out, kOffRemovable, removable, 4);
    PutLe(out, kOffDiskNumber, static_cast<std::uint32_t>(diskNumber), 4);
    PutLe(out, kOffBusType, busType, 4);
    return out;
}

DiskInfo DiskInfo::Deserialize(std::span<const std::byte, kStoredSize> bytes) {
    ByteReader r(bytes);
    DiskInfo d;
    for (std::size_t i = 0; i < d.model.size(); ++i) d.model[i] = static_cast<char>(r.u8(kOffModel + i));
    d.model.back() = '\0';
    d.sizeBytes = r.u64le(kOffSizeBytes);
    d.removable = r.u32le(kOffRemovable);
    d.diskNumber = static_cast<std::int32_t>(r.u32le(kOffDiskNumber));
    d.busType = r.u32le(kOffBusType);
    return d;
}

const char* BusTypeName(std::uint32_t busType) {
    static constexpr const char* kNames[] = {"Unknown", "SCSI", "ATAPI", "ATA",  "1394", "SSA",
                                             "FIBRE",   "USB",  "RAID",  "iSCSI", "SAS", "SATA"};
    return busType < std::size(kNames) ? kNames[busType] : "";
}

}  // namespace lumacore
