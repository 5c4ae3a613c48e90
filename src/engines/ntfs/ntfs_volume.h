#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/byte_source.h"
#include "core/data_sink.h"
#include "core/filter_settings.h"
#include "core/ntfs_runs.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/ntfs/ntfs_boot_sector.h"
#include "engines/ntfs/ntfs_file_node.h"
#include "engines/ntfs/ntfs_mft_record.h"
#include "engines/ntfs/ntfs_node_builder.h"

namespace lumacore {

// One data stream of a file, its extents gathered from the base record and, through the
// $ATTRIBUTE_LIST, from its extension records.
struct NtfsStream {
    std::u16string name;  // empty for the unnamed stream
    bool resident = false;
    std::vector<std::byte> residentData;
    std::vector<ClusterRun> runs;  // in VCN order, holes included
    std::uint64_t dataSize = 0;
    std::uint64_t initializedSize = 0;
    std::uint16_t flags = 0;
    std::uint32_t compressionUnitClusters = 0;  // 0 when the stream is not compressed
    // The cluster size its runs count in when it is not the volume's (0): that of the older file
    // system a record found outside the current MFT belonged to.
    std::uint32_t clusterSize = 0;
    // False when an extent is missing or a run list ends early: the bytes no run maps are zeros
    // and reading the stream reports it.
    bool complete = true;
};

// Receives a stream's bytes in order, in blocks.
using NtfsSink = std::function<Result<void>(std::span<const std::byte>)>;

// An NTFS volume on a disk: its boot sector, its whole MFT held in memory (the MftImage), the
// deleted-file scan over it, the recovery selection, and the reading of found files.
class CNtfsVolume {
  public:
    // The largest MFT held in memory. 4 GiB of records is more than 4 million files; a claimed
    // size beyond it (or beyond the volume) is corruption, not a volume.
    static constexpr std::uint64_t kMaxMftBytes = std::uint64_t{4} << 30;
    // What ReadFileData hands back at most: it is for previews.
    static constexpr std::uint64_t kMaxReadFileDataBytes = std::uint64_t{64} << 20;
    // The record numbers below this are the system files; the scan starts here.
    static constexpr std::uint32_t kFirstUserRecord = 16;
    // The formatted-drive scan lists live files too, so it leaves out 16..23 (reserved, and where
    // some systems keep $Extend's files); Windows puts its first user files at 24.
    static constexpr std::uint32_t kFirstFormattedRecord = 24;
    // The image index of nodes built from records found outside the current MFT.
    static constexpr std::int32_t kFoundRecordsImage = 1;
    // The folder under the root that holds them.
    static constexpr const char* kFoundRecordsFolder = "Old MFT Records";

    CNtfsVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    // Reads and checks the boot sector. kNtfsOk, kNtfsNoImage without a disk, kNtfsReadFault,
    // kNtfsNotNtfs or kNtfsBadParameter.
    int ReadBootSector();
    // Finds the $MFT data stream through record 0 and sets the record count, without reading the
    // records. kNtfsOk, or an error number: kNtfsMftNotFound when record 0 is not the $MFT,
    // kNtfsBadParameter for an MFT that cannot be.
    int OpenMft();
    // OpenMft, then the whole $MFT data stream read into memory (the MftImage).
    int LoadMft();

    bool isNtfs() const { return isNtfs_; }
    const NtfsGeometry& geometry() const { return geometry_; }
    std::uint64_t volumeOffset() const { return volumeOffset_; }
    // Records in the loaded MftImage (0 when none is loaded).
    std::uint32_t RecordCount() const { return recordCount_; }
    // Record n as stored in the image (fix-ups not applied); empty when n is not in it.
    std::span<const std::byte> Record(std::uint32_t n) const;
    // Record n from the image when one is loaded, else read from the disk through the $MFT's runs;
    // nothing when n lies outside the MFT.
    std::optional<std::vector<std::byte>> ReadRecord(std::uint64_t n) const;

    // How the deleted-file scan reads the MFT: streamed in bounded windows (records parsed as they
    // arrive, only what the tree needs kept), or read whole into the MftImage first.
    enum class MftReading { Streamed, WholeImage };
    // Lists the free records from record kFirstUserRecord on as nodes and hangs them into `tree`
    // under their rebuilt folder chains. False when the volume has no usable MFT (the tree then holds
    // the root alone). Both readings give the same nodes in the same order.
    bool DeletedFileScan(NtfsResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                         const StopToken& stop, MftReading reading = MftReading::Streamed);
    NtfsResultTree::ItemId rootItem() const { return rootItem_; }

    // After a format: lists every record of the current MFT from kFirstFormattedRecord on, live and
    // deleted (system files left out), while a sector search over [rangeStart, rangeEnd] counts the
    // MFT records lying outside the current MFT; those are turned into nodes as well, in the folder
    // kFoundRecordsFolder, their chains rebuilt among themselves. Without an NTFS boot sector only the
    // search runs (4 KiB clusters, 1 KiB records). False when the boot sector is NTFS but its MFT
    // cannot be loaded.
    bool FormattedDriveScan(NtfsResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                            const StopToken& stop);
    // Sector range of the formatted-drive scan, relative to the volume, last sector included.
    std::uint32_t rangeStart = 0;
    std::uint32_t rangeEnd = UINT32_MAX;
    // MFT records the last sector search found outside the current MFT (the current MFT's records
    // are added once when the search passes over it).
    std::uint64_t RecordsCounted() const { return recordsCounted_; }
    // The distinct records found outside the current MFT, and the cluster size their run lists are
    // read with.
    std::size_t FoundRecordCount() const { return foundRecordCount_; }
    std::uint32_t FoundClusterSize() const { return found_.clusterSize; }

    const NodeList& nodes() const { return nodes_; }
    NodeList& nodes() { return nodes_; }

    // Adds the selected nodes listed by `item` and every item below it to the selection, in tree
    // order, each node once. The selection is kept across calls.
    void BuildSelection(const NtfsResultTree& tree, NtfsResultTree::ItemId item);
    const std::vector<NtfsFileNode*>& selection() const { return selection_; }
    // Empties the selection, so that a new recovery takes only what is selected now.
    void ClearSelection() {
        selection_.clear();
        inSelection_.clear();
    }

    // The data streams of a record, extension records included.
    Result<std::vector<NtfsStream>> ResolveStreams(std::uint32_t recordNumber) const;
    // The data streams of a record found outside the current MFT; its extension records are looked
    // up among the other records found there.
    Result<std::vector<NtfsStream>> ResolveFoundStreams(std::span<const std::byte> record,
                                                        std::uint64_t recordNumber) const;

    // Hands the node's stream to `sink`: sparse parts and bytes past the initialized size to `holes`
    // (as zeros to `sink` without one), compressed units decompressed. Unreadable clusters are given
    // as zeros and make the result an error once everything else was written.
    Result<void> WriteFileData(const NtfsFileNode& node, const NtfsSink& sink,
                               const HoleSink& holes = {}) const;
    // Where the node's stored bytes lie on the disk, in file order: (file offset, disk byte offset,
    // length) for each mapped stretch of an uncompressed, unencrypted non-resident stream, up to its
    // initialized size. Empty for resident, compressed or encrypted data and when the stream is gone;
    // sparse runs are left out.
    struct DiskExtent {
        std::uint64_t fileOffset = 0;
        std::uint64_t diskOffset = 0;
        std::uint64_t length = 0;
    };
    std::vector<DiskExtent> DiskExtents(const NtfsFileNode& node) const;
    // The node's data in memory, at most maxBytes of it (for previews).
    Result<std::vector<std::byte>> ReadFileData(const NtfsFileNode& node,
                                                std::uint64_t maxBytes = kMaxReadFileDataBytes) const;
    // The first `maxBytes` bytes of a stream.
    Result<void> CopyStream(const NtfsStream& stream, std::uint64_t maxBytes, const NtfsSink& sink,
                            const HoleSink& holes = {}) const;

    // The folder and name filters of the deleted-file scan (the application's VolumeRoot and
    // NamePattern); with a drive root of three characters and an empty text they accept everything.
    std::string folderFilter;
    std::string nameFilter;

  private:
    friend class NtfsNodeBuilder;
    friend class NtfsFormattedScan;
    using RecordFetcher = std::function<std::optional<std::vector<std::byte>>(std::uint64_t)>;
    // The cluster size run lists count in and the cluster count they must stay below.
    struct ClusterGeometry {
        std::uint32_t clusterSize = 0;
        std::uint64_t clusterLimit = 0;
    };
    // The records a sector search found outside the current MFT, by record number (the first
    // found of each number), for chains and extension records.
    struct FoundRecords {
        std::unordered_map<std::uint64_t, std::shared_ptr<const std::vector<std::byte>>> byNumber;
        std::uint32_t clusterSize = 0;
        std::uint64_t clusterLimit = 0;
    };

    NtfsResultTree::ItemId InsertRoot(NtfsResultTree& tree);
    // The record loops of the deleted-file scan over the two readings.
    void ScanStreamed(NtfsNodeBuilder& builder, ProgressFields& progress, const StopToken& stop);
    void ScanImage(NtfsNodeBuilder& builder, ProgressFields& progress, const StopToken& stop);
    NtfsRecordSource CurrentMftSource() const;
    NtfsRecordSource FoundRecordSource() const;
    ClusterGeometry CurrentClusters() const { return {geometry_.clusterSize, clusterLimit_}; }
    std::uint32_t ClusterSizeOf(const NtfsStream& stream) const {
        return stream.clusterSize != 0 ? stream.clusterSize : geometry_.clusterSize;
    }
    // The node's own stream (its record's, or the found record's); nothing when the record no longer
    // has a stream of that name.
    Result<std::optional<NtfsStream>> StreamOfNode(const NtfsFileNode& node) const;
    Result<std::vector<NtfsStream>> StreamsOf(const CMftRecord& base, std::uint64_t recordNumber,
                                              const RecordFetcher& fetch,
                                              const ClusterGeometry& clusters) const;
    // Fills `out` with the stream's stored bytes from `position` on, holes and unmapped or unreadable
    // clusters as zeros; false when any were unmapped or unreadable.
    bool ReadStored(const NtfsStream& stream, std::uint64_t position, std::span<std::byte> out) const;
    // Fills `out` with the $MFT's bytes from `position` on; unreadable stretches and bytes past its
    // initialized size as zeros.
    void ReadMftBytes(std::uint64_t position, std::span<std::byte> out) const;
    // Reads at a byte offset from the start of the volume.
    Result<void> ReadVolume(std::uint64_t offset, std::span<std::byte> out) const;

    std::unique_ptr<ByteSource> disk_;
    std::uint64_t volumeOffset_ = 0;
    char driveLetter_ = '*';
    bool isNtfs_ = false;
    NtfsGeometry geometry_;
    // Runs must lie below this cluster: the boot sector's count, or what the disk holds when the
    // boot sector gives none.
    std::uint64_t clusterLimit_ = 0;
    // The $MFT's own unnamed data stream, as OpenMft found it.
    NtfsStream mftStream_;
    std::vector<std::byte> mftImage_;
    std::uint32_t recordCount_ = 0;
    // Where the current MFT's data lies, as volume byte ranges [first, second), in VCN order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mftExtents_;
    std::uint64_t volumeBytes_ = 0;  // from the partition record; 0 when it gives none
    std::uint64_t recordsCounted_ = 0;
    std::size_t foundRecordCount_ = 0;
    FoundRecords found_;
    NodeList nodes_;
    std::vector<NtfsFileNode*> selection_;
    std::unordered_set<const NtfsFileNode*> inSelection_;
    NtfsResultTree::ItemId rootItem_ = NtfsResultTree::kNoItem;
};

// True for the volume records the NTFS engine reads: "NTFS" and "#NTFS#".
bool IsNtfsRecord(const PartitionInfo& partition);

}  // namespace lumacore
