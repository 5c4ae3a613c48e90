#include "session/engine_table.h"

#include <algorithm>
#include <array>

#include "core/scan_mode.h"
#include "session/exfat_scan.h"
#include "session/ext_scan.h"
#include "session/fat_scan.h"
#include "session/ntfs_scan.h"
#include "session/raw_scan.h"

namespace lumacore {

namespace {

constexpr std::array kDeletedAndFormatted{int{SCAN_DELETED}, int{SCAN_FORMATTED}};
constexpr std::array kDeletedOnly{int{SCAN_DELETED}};
constexpr std::array kRawOnly{int{SCAN_RAW}};

constexpr std::array kFatNames{LetteredVolumeName{"FAT32", ResultPageFamily::Fat32},
                               LetteredVolumeName{"FAT16", ResultPageFamily::Fat16},
                               LetteredVolumeName{"FAT", ResultPageFamily::Fat16}};
constexpr std::array kExfatNames{LetteredVolumeName{"exFAT", ResultPageFamily::Exfat}};
constexpr std::array kNtfsNames{LetteredVolumeName{"NTFS", ResultPageFamily::Ntfs}};
constexpr std::array kExtNames{LetteredVolumeName{"EXT2", ResultPageFamily::Ext},
                               LetteredVolumeName{"EXT3", ResultPageFamily::Ext},
                               LetteredVolumeName{"EXT4", ResultPageFamily::Ext}};

// Searched in order: the first row that reads a volume in a mode runs it.
const std::array kEngines{
    EngineRow{"FAT", IsFatRecord, kDeletedAndFormatted, kFatNames, ResultPageFamily::Fat16,
              ScanFatFoundFiles},
    EngineRow{"exFAT", IsExfatRecord, kDeletedAndFormatted, kExfatNames, ResultPageFamily::Exfat,
              ScanExfatFoundFiles},
    EngineRow{"NTFS", IsNtfsRecord, kDeletedAndFormatted, kNtfsNames, ResultPageFamily::Ntfs,
              ScanNtfsFoundFiles},
    EngineRow{"EXT", IsExtRecord, kDeletedOnly, kExtNames, ResultPageFamily::Ext, ScanExtFoundFiles},
    EngineRow{"RAW", nullptr, kRawOnly, {}, ResultPageFamily::Raw, ScanRawFoundFiles},
};

}  // namespace

bool EngineRow::Runs(int mode) const {
    return std::ranges::find(modes, mode) != modes.end();
}

std::span<const EngineRow> EngineTable() {
    return kEngines;
}

const EngineRow* FindEngine(const PartitionInfo& volume, int mode) {
    for (const EngineRow& row : kEngines) {
        if (row.Runs(mode) && (row.readsVolume == nullptr || row.readsVolume(volume))) return &row;
    }
    return nullptr;
}

namespace {

const LetteredVolumeName* FindLetteredName(std::string_view fsName) {
    for (const EngineRow& row : kEngines) {
        for (const LetteredVolumeName& name : row.letteredNames) {
            if (name.fsName == fsName) return &name;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<ResultPageFamily> ResultPageFor(int mode, std::string_view fsName) {
    if (mode == SCAN_RAW) {
        for (const EngineRow& row : kEngines) {
            if (row.readsVolume == nullptr && row.Runs(mode)) return row.page;
        }
        return std::nullopt;
    }
    if (mode != SCAN_DELETED && mode != SCAN_FORMATTED) return std::nullopt;
    const LetteredVolumeName* name = FindLetteredName(fsName);
    if (name == nullptr) return std::nullopt;
    return name->page;
}

bool IsLetteredVolumeName(std::string_view fsName) {
    return FindLetteredName(fsName) != nullptr;
}

}  // namespace lumacore
