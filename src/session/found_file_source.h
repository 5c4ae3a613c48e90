#pragma once

#include <string>

#include "core/partition_info.h"
#include "engines/exfat/exfat_extractor.h"
#include "engines/fat/fat_extractor.h"
#include "platform/device_map.h"
#include "preview/preview_source.h"
#include "session/exfat_scan.h"
#include "session/ext_scan.h"
#include "session/fat_scan.h"
#include "session/ntfs_scan.h"
#include "session/raw_scan.h"

namespace lumacore {

// Up to `maxBytes` of a found file's data from its start, through its engine's read; an error when
// nothing could be read.
Result<std::vector<std::byte>> ReadFoundFile(FatExtractor& extractor, const FatFileNode& node,
                                             std::uint64_t maxBytes);
Result<std::vector<std::byte>> ReadFoundFile(ExfatExtractor& extractor, const ExfatFileNode& node,
                                             std::uint64_t maxBytes);
Result<std::vector<std::byte>> ReadFoundFile(CExtVolume& volume, const ExtFileNode& node,
                                             std::uint64_t maxBytes);
Result<std::vector<std::byte>> ReadFoundFile(const CRawCarver& carver, const RawFileNode& node,
                                             std::uint64_t maxBytes);

// Found files as the preview reads them, through each engine's own read: the FAT file from its first
// cluster (the disk is opened for each read, as the FAT page reads file data itself), the exFAT file
// through its extractor (which skips clusters the bitmap marks in use), the NTFS file
// through the engine's in-memory read (decompressed), the EXT file through its block map, the carved
// file from its sectors. The engine and the node must outlive the source.
PreviewSource FatPreviewSource(const DeviceMap& devices, const PartitionInfo& volume,
                               const FatFileNode& node);
PreviewSource ExfatPreviewSource(ExfatExtractor& extractor, const ExfatFileNode& node);
PreviewSource NtfsPreviewSource(const CNtfsVolume& volume, const NtfsFileNode& node);
PreviewSource ExtPreviewSource(CExtVolume& volume, const ExtFileNode& node);
PreviewSource RawPreviewSource(const CRawCarver& carver, const RawFileNode& node);

// The file at a tree path of a finished scan, named as the scan's listing names it: FAT and NTFS
// "folder/.../name" below the root, EXT "name" or "Lost files/name", RAW "name" or "kind/name". An error
// (NotFound) when there is no such file. exFAT paths are named as FAT's.
Result<const FatFileNode*> FindFatFile(const FatScan& scan, const std::string& path);
Result<const ExfatFileNode*> FindExfatFile(const ExfatScan& scan, const std::string& path);
Result<const NtfsFileNode*> FindNtfsFile(const NtfsScan& scan, const std::string& path);
Result<const ExtFileNode*> FindExtFile(const ExtScan& scan, const std::string& path);
Result<const RawFileNode*> FindRawFile(const RawScan& scan, const std::string& path);

}  // namespace lumacore
