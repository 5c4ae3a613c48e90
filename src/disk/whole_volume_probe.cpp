#include "disk/whole_volume_probe.h"

#include <array>

#include "core/byte_reader.h"
#include "disk/table_entry_naming.h"
#include "disk/volume_signature.h"

namespace lumacore {

bool LooksLikePartitionTable(std::span<const std::byte> sector0, std::uint64_t diskSectors) {
    const ByteReader r(sector0);
    if (r.u8(510) != 0x55 || r.u8(511) != 0xAA) return false;
    for (std::size_t at = 0x1BE; at < 0x1FE; at += 16) {
        if (r.u8(at + 4) == 0) continue;
        const std::uint8_t status = r.u8(at);
        if ((status != 0x00 && status != 0x80) || r.u32le(at + 8) == 0 || r.u32le(at + 12) == 0 ||
            r.u32le(at + 8) >= diskSectors) {
            return false;
        }
    }
    return true;
}

Result<bool> ProbeWholeVolume(ByteSource& disk, PartitionInfo& whole) {
    std::array<std::byte, kVolumeProbeBytes> start{};
    auto read = disk.ReadAt(0, start);
    if (!read) return read.error();
    const VolumeKind kind = IdentifyVolume(std::span<const std::byte>(start).first(*read));
    if (kind == VolumeKind::kNone) return false;
    if (IsExtKind(kind)) {
        if (!ProbeExt(disk, whole))
            return Error::Io("cannot read the EXT superblock", 0, kExtSuperblockOffset);
        return true;
    }
    whole.SetFsName("Unknown");
    SetTableEntryDefaults(whole);
    return true;
}

}  // namespace lumacore
