#pragma once

#include <cstdint>
#include <string>

#include "core/byte_source.h"
#include "core/partition_info.h"
#include "core/result.h"
#include "disk/gpt_table.h"
#include "disk/volume_signature.h"

namespace lumacore {

// Partitions of a GPT that lie past this sector cannot be described by a record's 32-bit sector numbers
// (disks beyond 2 TiB); they and gaps there are left out.
constexpr std::uint64_t kMaxRecordSector = 0xFFFFFFFF;

// The record type code of an entry taken from a GPT: the protective entry's type, which tells a GPT
// record from a master-boot-record one.
constexpr std::uint8_t kGptRecordTypeCode = 0xEE;

// The records of a GPT disk in start order: one per used entry (kind 1, `typeCode` 0xEE), named by a
// probe of the partition's first sectors ("#FAT16#" also for FAT12, "#FAT32#", "#NTFS#", "exFAT", "EXT2",
// "EXT3", "EXT4") or else by its type GUID's common name, labelled by its file system's label or its GPT
// name; and a "Deleted" record for every stretch of usable sectors no entry covers. Returns the table
// that was read (its `fromBackup` says which header was used). Records found before a failed read stay.
Result<GptTable> WalkGpt(ByteSource& disk, int diskNumber, std::uint64_t diskSize, PartitionList& list);

// The record name of a partition whose first sectors were probed, or nullptr when the probe found none.
const char* TableEntryName(VolumeKind kind);

}  // namespace lumacore
