// The formatted-drive scan. A format writes a new, small MFT; the old MFT's records past it stay in
// clusters the new file system does not use yet. A record walk lists the current MFT, live and deleted
// records alike, on a thread of its own; beside it a sector search reads the scan range and finds
// every MFT record lying outside the current MFT. Those are kept and turned into nodes too, their
// folder chains rebuilt among themselves, in a folder of their own.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "core/byte_reader.h"
#include "core/size_text.h"
#include "core/utf8.h"
#include "engines/ntfs/ntfs_node_builder.h"
#include "engines/ntfs/ntfs_volume.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {

namespace {

// What the search assumes when the boot sector is not NTFS.
constexpr std::uint32_t kDefaultClusterSize = 4096;
constexpr std::uint32_t kDefaultRecordSize = 1024;
// The search reads 100 clusters at a time, but at least 1 MiB and at most 16 MiB per read: large
// sequential reads without a huge buffer on volumes with 2 MiB clusters.
constexpr std::uint64_t kSearchClusters = 100;
constexpr std::uint64_t kMinSearchChunk = 1u << 20;
constexpr std::uint64_t kMaxSearchChunk = 16u << 20;
// Records start on sector boundaries (an MFT extent starts on a cluster, and a record size is a whole
// number of sectors), whatever the cluster size of the file system that wrote them.
constexpr std::uint64_t kSectorSize = 512;
// Record sizes a found record may declare: 1 KiB on most volumes, the sector size on 4K-sector ones.
constexpr std::uint32_t kMinFoundRecordSize = 512;
constexpr std::uint32_t kMaxFoundRecordSize = 64u << 10;
// Found records are held in memory like the MFT image; 2 Mi records are 2 GiB of 1 KiB records, the
// MFT of two million files. Further ones are still counted.
constexpr std::size_t kMaxFoundRecords = std::size_t{1} << 21;
// Old folders whose first index block is looked for to learn the old cluster size.
constexpr std::size_t kMaxProbedFolders = 32;
constexpr std::uint64_t kMinClusterSize = 512;
constexpr std::uint64_t kMaxClusterSize = 2u << 20;
// Where an $INDEX_ALLOCATION block keeps its own VCN.
constexpr std::size_t kIndexBlockVcnOffset = 0x10;
// The number folders invented for the found records carry in the tree (no real record has it).
constexpr std::uint32_t kFoundRecordsFolderNumber = UINT32_MAX;

// The size an MFT record at the start of `bytes` declares for itself (its allocated size, checked
// against its update-sequence array), or 0 when the header is not a plausible record header.
std::uint32_t DeclaredRecordSize(std::span<const std::byte> bytes) {
    const auto header = DecodeNtfsRecordHeader(bytes);
    if (!header) return 0;
    const std::uint32_t size = header->allocatedSize;
    const std::size_t usaOffset = header->updateSequenceOffset;
    const std::size_t usaCount = header->updateSequenceCount;
    const std::size_t firstAttribute = header->firstAttributeOffset;
    if (!std::has_single_bit(size) || size < kMinFoundRecordSize || size > kMaxFoundRecordSize) return 0;
    if (usaCount != size / kSectorSize + 1 || usaOffset < 0x28 || usaOffset + 2 * usaCount > firstAttribute ||
        firstAttribute >= size) {
        return 0;
    }
    return size;
}

}  // namespace

class NtfsFormattedScan {
  public:
    NtfsFormattedScan(CNtfsVolume& volume, NtfsResultTree& tree, const FilterSettings& filter,
                      ProgressFields& progress, const StopToken& stop)
        : volume_(volume), tree_(tree), filter_(filter), progress_(progress), stop_(stop) {}

    bool Run();

  private:
    struct Found {
        std::uint64_t position = 0;  // byte offset in the volume
        std::uint32_t number = 0;
        std::shared_ptr<const std::vector<std::byte>> bytes;
    };

    void WalkCurrentMft();
    void SearchSectors();
    void TakeCandidate(std::uint64_t position, std::span<const std::byte> bytes);
    std::uint32_t ProbeFoundClusterSize() const;
    void BuildFoundNodes();

    CNtfsVolume& volume_;
    NtfsResultTree& tree_;
    const FilterSettings& filter_;
    ProgressFields& progress_;
    const StopToken& stop_;
    std::uint64_t volumeBytes_ = 0;
    std::vector<Found> found_;
    std::set<std::pair<std::uint32_t, std::uint16_t>> seen_;  // record number and sequence number
};

bool NtfsFormattedScan::Run() {
    CNtfsVolume& v = volume_;
    v.InsertRoot(tree_);
    v.recordsCounted_ = 0;
    v.foundRecordCount_ = 0;
    v.found_ = {};
    progress_.Start("Found Formated Files : 0", 0);

    const bool ntfs = v.ReadBootSector() == kNtfsOk;
    if (ntfs && v.LoadMft() != kNtfsOk) {
        tree_.Expand(v.rootItem_);
        tree_.Select(v.rootItem_);
        return false;
    }
    const std::uint64_t diskBytes = v.disk_ ? v.disk_->Size() : 0;
    volumeBytes_ = diskBytes > v.volumeOffset_ ? diskBytes - v.volumeOffset_ : 0;
    if (v.volumeBytes_ != 0) volumeBytes_ = std::min(volumeBytes_, v.volumeBytes_);
    if (!ntfs) {
        v.geometry_ = NtfsGeometry{};
        v.geometry_.bytesPerSector = kSectorSize;
        v.geometry_.clusterSize = kDefaultClusterSize;
        v.geometry_.recordSize = kDefaultRecordSize;
        v.clusterLimit_ = volumeBytes_ / kDefaultClusterSize;
    }

    // The walk reads only the MFT image (and, for records with a non-resident attribute list, the
    // device through its own reads); the search only reads the device. They meet again at the join.
    std::thread walk;
    if (ntfs) walk = std::thread([this] { WalkCurrentMft(); });
    SearchSectors();
    if (walk.joinable()) walk.join();
    BuildFoundNodes();

    tree_.Expand(v.rootItem_);
    tree_.Select(v.rootItem_);
    return true;
}

void NtfsFormattedScan::WalkCurrentMft() {
    NtfsNodeOptions options;
    options.folderAndNameFilters = false;
    options.skipSystemFiles = true;
    NtfsNodeBuilder builder(volume_, tree_, volume_.rootItem_, filter_, volume_.CurrentMftSource(), options);
    const std::uint32_t count = volume_.RecordCount();
    for (std::uint32_t i = CNtfsVolume::kFirstFormattedRecord; i < count && !stop_.StopRequested(); ++i) {
        const std::span<const std::byte> bytes = volume_.Record(i);
        // Extension records belong to their base record's file.
        const auto header = DecodeNtfsRecordHeader(bytes);
        if (!header || header->IsExtension()) continue;
        builder.TakeRecord(i, bytes);
    }
}

void NtfsFormattedScan::TakeCandidate(std::uint64_t position, std::span<const std::byte> bytes) {
    ++volume_.recordsCounted_;
    const auto header = DecodeNtfsRecordHeader(bytes);
    // Only records that carry their own number (NTFS 3.1 headers, whose update sequence follows the
    // number) can be put back into folders.
    if (!header || header->updateSequenceOffset < ntfs_record::kHeaderSize ||
        found_.size() >= kMaxFoundRecords)
        return;
    const std::uint32_t number = header->recordNumber;
    const std::uint16_t sequence = header->sequence;
    // The same record seen twice (a copy of an MFT, an image of the volume stored in a file) is
    // listed once.
    if (!seen_.emplace(number, sequence).second) return;
    found_.push_back(
        Found{position, number, std::make_shared<const std::vector<std::byte>>(bytes.begin(), bytes.end())});
}

void NtfsFormattedScan::SearchSectors() {
    CNtfsVolume& v = volume_;
    const std::uint64_t clusterSize = v.geometry_.clusterSize;
    const std::uint64_t chunk =
        std::clamp(kSearchClusters * clusterSize, kMinSearchChunk, std::max(kMaxSearchChunk, clusterSize));
    const std::uint64_t start = std::uint64_t{v.rangeStart} * kSectorSize;
    const std::uint64_t end = std::min((std::uint64_t{v.rangeEnd} + 1) * kSectorSize, volumeBytes_);
    if (start >= end) return;
    progress_.Start("Found Formated Files : 0", static_cast<std::int64_t>((end - start + chunk - 1) / chunk));

    // The current MFT's extents, sorted and merged where a damaged run list makes them overlap.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mft;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents = v.mftExtents_;
    std::sort(extents.begin(), extents.end());
    for (const auto& extent : extents) {
        if (!mft.empty() && extent.first <= mft.back().second) {
            mft.back().second = std::max(mft.back().second, extent.second);
        } else {
            mft.push_back(extent);
        }
    }
    std::vector<std::byte> buffer;
    std::vector<std::byte> straddling;
    std::uint64_t skipUntil = start;  // the end of the last record taken
    for (std::uint64_t position = start; position < end && !stop_.StopRequested();) {
        // The current MFT is the record walk's: its records are counted once and not searched.
        std::uint64_t readEnd = std::min(position + chunk, end);
        const auto next =
            std::upper_bound(mft.begin(), mft.end(), position,
                             [](std::uint64_t p, const auto& extent) { return p < extent.second; });
        if (next != mft.end() && next->first <= position) {
            v.recordsCounted_ += (std::min(next->second, end) - position) / v.geometry_.recordSize;
            position = next->second;
            continue;
        }
        if (next != mft.end()) readEnd = std::min(readEnd, next->first);

        buffer.resize(static_cast<std::size_t>(readEnd - position));
        if (v.ReadVolume(position, buffer)) {
            const std::uint64_t first = std::max(skipUntil, position) - position;
            for (std::uint64_t at = first; at < buffer.size(); at += kSectorSize) {
                const auto rest = std::span<const std::byte>(buffer).subspan(static_cast<std::size_t>(at));
                if (!HasNtfsRecordMagic(rest)) continue;
                std::uint32_t size = DeclaredRecordSize(rest);
                if (size == 0) continue;
                if (rest.size() >= size) {
                    TakeCandidate(position + at, rest.first(size));
                } else {
                    // The record runs past this read: fetch it whole on its own.
                    straddling.resize(size);
                    if (v.ReadVolume(position + at, straddling)) TakeCandidate(position + at, straddling);
                }
                skipUntil = position + at + size;
                at += size - kSectorSize;
            }
        }
        position = readEnd;
        progress_.SetDone(static_cast<std::int64_t>((position - start) / chunk));
        progress_.SetText("Found Formated Files : " + std::to_string(v.recordsCounted_));
    }
    progress_.SetText("Found Formated Files : " + std::to_string(v.recordsCounted_));
}

std::uint32_t NtfsFormattedScan::ProbeFoundClusterSize() const {
    const CNtfsVolume& v = volume_;
    // The old $MFT's record 0 lies where its own first run says: at that cluster times the cluster size.
    for (const Found& f : found_) {
        if (f.number != 0) continue;
        CMftRecord record;
        if (record.Parse(*f.bytes) != kNtfsOk) continue;
        const NtfsFileName* name = record.ChosenName();
        if (name == nullptr || name->name != u"$MFT") continue;
        for (const NtfsDataAttribute& d : record.data) {
            if (!d.name.empty() || d.resident || d.firstVcn != 0) continue;
            const RunListResult runs = DecodeRunList(d.mappingPairs, 0, RunListLimits{});
            if (runs.runs.empty() || runs.runs.front().sparse || runs.runs.front().lcn == 0) continue;
            const std::uint64_t lcn = runs.runs.front().lcn;
            const std::uint64_t size = f.position / lcn;
            if (f.position % lcn == 0 && std::has_single_bit(size) && size >= kMinClusterSize &&
                size <= kMaxClusterSize) {
                return static_cast<std::uint32_t>(size);
            }
        }
    }
    // Otherwise old folders vote: a folder's first index block ("INDX", VCN 0) lies at its first run's
    // cluster times the right cluster size.
    std::map<std::uint64_t, int> votes;
    std::size_t probed = 0;
    for (const Found& f : found_) {
        if (probed >= kMaxProbedFolders || stop_.StopRequested()) break;
        // Only folders (and view indexes) have index blocks: the header says so before any parsing.
        const auto header = DecodeNtfsRecordHeader(*f.bytes);
        if (!header || (header->flags & (kNtfsRecordIsDirectory | kNtfsRecordIsViewIndex)) == 0) continue;
        CMftRecord record;
        if (record.Parse(*f.bytes) != kNtfsOk || !record.hasIndexAllocation) continue;
        const RunListResult runs = DecodeRunList(record.indexAllocation.mappingPairs, 0, RunListLimits{});
        if (runs.runs.empty() || runs.runs.front().sparse || runs.runs.front().lcn == 0) continue;
        ++probed;
        const std::uint64_t lcn = runs.runs.front().lcn;
        for (std::uint64_t size = kMinClusterSize; size <= kMaxClusterSize; size *= 2) {
            if (lcn > (volumeBytes_ - kIndexBlockVcnOffset - 8) / size) break;
            std::array<std::byte, kIndexBlockVcnOffset + 8> head{};
            if (!v.ReadVolume(lcn * size, head)) continue;
            const ByteReader r(head);
            if (r.matches(0, "INDX") && r.u64le(kIndexBlockVcnOffset) == 0) ++votes[size];
        }
    }
    std::uint64_t best = v.geometry_.clusterSize;
    int bestVotes = votes.count(best) != 0 ? votes[best] : 0;
    for (const auto& [size, count] : votes) {
        if (count > bestVotes) {
            best = size;
            bestVotes = count;
        }
    }
    return static_cast<std::uint32_t>(best);
}

NtfsRecordSource CNtfsVolume::FoundRecordSource() const {
    NtfsRecordSource source;
    source.record = [this](std::uint64_t n) {
        const auto it = found_.byNumber.find(n);
        return it == found_.byNumber.end() ? std::span<const std::byte>()
                                           : std::span<const std::byte>(*it->second);
    };
    source.count = UINT64_MAX;
    source.streamSizes = [this](std::uint32_t number, std::span<const std::byte> record) {
        std::vector<std::pair<std::u16string, std::uint64_t>> sizes;
        if (auto resolved = ResolveFoundStreams(record, number)) {
            for (const NtfsStream& s : *resolved) sizes.emplace_back(s.name, s.dataSize);
        }
        return sizes;
    };
    return source;
}

void NtfsFormattedScan::BuildFoundNodes() {
    CNtfsVolume& v = volume_;
    v.foundRecordCount_ = found_.size();
    if (found_.empty() || stop_.StopRequested()) return;
    v.found_.clusterSize = ProbeFoundClusterSize();
    v.found_.clusterLimit = volumeBytes_ / v.found_.clusterSize;
    for (const Found& f : found_) v.found_.byNumber.try_emplace(f.number, f.bytes);

    // The folder is part of every node's path, so that recovery writes them apart from the current
    // MFT's files of the same names.
    NtfsNodeOptions options;
    options.imageIndex = CNtfsVolume::kFoundRecordsImage;
    options.folderAndNameFilters = false;
    options.skipSystemFiles = true;
    options.topFolder = CNtfsVolume::kFoundRecordsFolder;
    options.topFolderNumber = kFoundRecordsFolderNumber;
    NtfsNodeBuilder builder(v, tree_, v.rootItem_, filter_, v.FoundRecordSource(), options);
    for (const Found& f : found_) {
        if (stop_.StopRequested()) break;
        if (f.number < CNtfsVolume::kFirstFormattedRecord) continue;
        // An extension record: read through its base record.
        if (const auto header = DecodeNtfsRecordHeader(*f.bytes); !header || header->IsExtension()) continue;
        builder.TakeRecord(f.number, *f.bytes, f.bytes);
    }
}

bool CNtfsVolume::FormattedDriveScan(NtfsResultTree& tree, const FilterSettings& filter,
                                     ProgressFields& progress, const StopToken& stop) {
    NtfsFormattedScan scan(*this, tree, filter, progress, stop);
    return scan.Run();
}

}  // namespace lumacore
