#include "engines/ntfs/ntfs_volume.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "core/lznt1.h"
#include "core/utf8.h"

namespace lumacore {

namespace {

// Streams are read and handed on in blocks of this size: large sequential reads, bounded memory.
constexpr std::size_t kCopyBlock = 1 << 20;
// An $ATTRIBUTE_LIST of a file in 100,000 fragments is a few MiB; more is corruption.
constexpr std::uint64_t kMaxAttributeListBytes = 8u << 20;
// Extension records one file may use; the list above cannot name more than this many.
constexpr std::size_t kMaxExtensionRecords = 1u << 16;
// Runs one stream may have across all its extents (each extent is bounded by DecodeRunList too).
constexpr std::size_t kMaxRunsPerStream = 1u << 20;
// NTFS compresses in units of 16 clusters of at most 4 KiB; larger units are not written by anyone.
constexpr std::uint64_t kMaxCompressionUnitBytes = 1u << 20;

}  // namespace

bool IsNtfsRecord(const PartitionInfo& partition) {
    const std::string name = partition.FsName();
    return name == "NTFS" || name == "#NTFS#";
}

CNtfsVolume::CNtfsVolume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
    : disk_(std::move(disk)),
      volumeOffset_(std::uint64_t{partition.startSector} * 512),
      driveLetter_(partition.driveLetter),
      volumeBytes_(partition.totalBytes) {}

int CNtfsVolume::ReadBootSector() {
    isNtfs_ = false;
    if (!disk_) return kNtfsNoImage;
    std::array<std::byte, 512> boot{};
    if (!ReadExact(*disk_, volumeOffset_, boot)) return kNtfsReadFault;
    NtfsGeometry geometry;
    const int status = ParseNtfsBootSector(boot, geometry);
    if (status != kNtfsOk) return status;
    geometry_ = geometry;
    clusterLimit_ = geometry.ClusterCount();
    if (clusterLimit_ == 0) {
        const std::uint64_t size = disk_->Size();
        clusterLimit_ = size > volumeOffset_ ? (size - volumeOffset_) / geometry.clusterSize : 0;
    }
    isNtfs_ = true;
    return kNtfsOk;
}

Result<void> CNtfsVolume::ReadVolume(std::uint64_t offset, std::span<std::byte> out) const {
    if (!disk_) return Error::Make(ErrorKind::NotFound, "no disk");
    if (offset > UINT64_MAX - volumeOffset_) return Error::Corrupt("offset outside the disk", offset);
    return ReadExact(*disk_, volumeOffset_ + offset, out);
}

std::span<const std::byte> CNtfsVolume::Record(std::uint32_t n) const {
    if (n >= recordCount_) return {};
    return std::span<const std::byte>(mftImage_).subspan(std::size_t{n} * geometry_.recordSize,
                                                         geometry_.recordSize);
}

int CNtfsVolume::OpenMft() {
    mftImage_.clear();
    mftExtents_.clear();
    mftStream_ = NtfsStream{};
    recordCount_ = 0;
    if (!disk_) return kNtfsNoImage;
    if (!isNtfs_) return kNtfsNotNtfs;
    const std::uint64_t clusters = clusterLimit_;
    if (geometry_.mftCluster >= clusters) return kNtfsBadParameter;
    if (geometry_.mftCluster > UINT64_MAX / geometry_.clusterSize) return kNtfsBadParameter;
    const std::uint64_t mftOffset = geometry_.mftCluster * geometry_.clusterSize;

    std::vector<std::byte> first(geometry_.recordSize);
    if (!ReadVolume(mftOffset, first)) return kNtfsReadFault;
    CMftRecord record;
    if (const int status = record.Parse(first); status != kNtfsOk) return status;
    const NtfsFileName* name = record.ChosenName();
    if (name == nullptr || name->name.substr(0, 4) != u"$MFT") return kNtfsMftNotFound;

    // Extension records of the $MFT itself lie inside its first extent; they are read through the
    // runs of record 0's own $DATA.
    std::vector<ClusterRun> firstRuns;
    for (const NtfsDataAttribute& d : record.data) {
        if (d.name.empty() && !d.resident && d.firstVcn == 0) {
            firstRuns = DecodeRunList(d.mappingPairs, 0, RunListLimits{65536, clusters}).runs;
        }
    }
    const std::uint32_t recordSize = geometry_.recordSize;
    const std::uint32_t clusterSize = geometry_.clusterSize;
    const RecordFetcher fetchFromDisk = [&](std::uint64_t n) -> std::optional<std::vector<std::byte>> {
        if (n > UINT64_MAX / recordSize) return std::nullopt;
        const std::uint64_t at = n * recordSize;
        const std::uint64_t vcn = at / clusterSize;
        for (const ClusterRun& run : firstRuns) {
            if (run.sparse || vcn < run.vcn || vcn - run.vcn >= run.length) continue;
            std::vector<std::byte> bytes(recordSize);
            if (!ReadVolume((run.lcn + (vcn - run.vcn)) * clusterSize + at % clusterSize, bytes))
                return std::nullopt;
            return bytes;
        }
        return std::nullopt;
    };
    auto streams = StreamsOf(record, 0, fetchFromDisk, CurrentClusters());
    if (!streams) return kNtfsBadParameter;
    const NtfsStream* data = nullptr;
    for (const NtfsStream& s : *streams) {
        if (s.name.empty()) data = &s;
    }
    if (data == nullptr || data->resident) return kNtfsBadParameter;

    const std::uint64_t volumeBytes = disk_->Size() > volumeOffset_ ? disk_->Size() - volumeOffset_ : 0;
    const std::uint64_t wanted = data->dataSize - data->dataSize % recordSize;
    if (wanted > kMaxMftBytes || wanted > volumeBytes || wanted / recordSize > UINT32_MAX)
        return kNtfsBadParameter;
    recordCount_ = static_cast<std::uint32_t>(wanted / recordSize);
    for (const ClusterRun& run : data->runs) {
        const std::uint64_t from = run.vcn * clusterSize;
        if (from >= wanted) break;
        if (run.sparse) continue;
        const std::uint64_t bytes = std::min(run.length * clusterSize, wanted - from);
        mftExtents_.emplace_back(run.lcn * clusterSize, run.lcn * clusterSize + bytes);
    }
    mftStream_ = *data;
    mftStream_.dataSize = wanted;
    mftStream_.initializedSize = std::min(data->initializedSize, wanted);
    return kNtfsOk;
}

void CNtfsVolume::ReadMftBytes(std::uint64_t position, std::span<std::byte> out) const {
    // A damaged stretch costs the records in it, not the scan: they read as zeros, which no record
    // parse accepts.
    ReadStored(mftStream_, position, out);
    const std::uint64_t valid = mftStream_.initializedSize;
    if (position + out.size() > valid) {
        const std::size_t from = position >= valid ? 0 : static_cast<std::size_t>(valid - position);
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), std::byte{0});
    }
}

int CNtfsVolume::LoadMft() {
    if (const int status = OpenMft(); status != kNtfsOk) return status;
    // Straight into the image, run by run: no staging copy of what is the largest read of the scan.
    mftImage_.resize(std::size_t{recordCount_} * geometry_.recordSize);
    ReadMftBytes(0, mftImage_);
    return kNtfsOk;
}

std::optional<std::vector<std::byte>> CNtfsVolume::ReadRecord(std::uint64_t n) const {
    if (n >= recordCount_) return std::nullopt;
    if (!mftImage_.empty()) {
        const auto bytes = Record(static_cast<std::uint32_t>(n));
        return std::vector<std::byte>(bytes.begin(), bytes.end());
    }
    std::vector<std::byte> bytes(geometry_.recordSize);
    ReadMftBytes(n * geometry_.recordSize, bytes);
    return bytes;
}

Result<std::vector<NtfsStream>> CNtfsVolume::ResolveStreams(std::uint32_t recordNumber) const {
    const auto bytes = ReadRecord(recordNumber);
    if (!bytes)
        return Error::Make(ErrorKind::NotFound, "record " + std::to_string(recordNumber) + " is not loaded");
    CMftRecord record;
    if (record.Parse(*bytes) != kNtfsOk)
        return Error::Corrupt("record " + std::to_string(recordNumber) + " is not a file record");
    const RecordFetcher fromMft = [this](std::uint64_t n) { return ReadRecord(n); };
    return StreamsOf(record, recordNumber, fromMft, CurrentClusters());
}

Result<std::vector<NtfsStream>> CNtfsVolume::ResolveFoundStreams(std::span<const std::byte> bytes,
                                                                 std::uint64_t recordNumber) const {
    CMftRecord record;
    if (record.Parse(bytes) != kNtfsOk)
        return Error::Corrupt("record " + std::to_string(recordNumber) + " is not a file record");
    const RecordFetcher fromFound = [this](std::uint64_t n) -> std::optional<std::vector<std::byte>> {
        const auto it = found_.byNumber.find(n);
        if (it == found_.byNumber.end()) return std::nullopt;
        return *it->second;
    };
    return StreamsOf(record, recordNumber, fromFound,
                     ClusterGeometry{found_.clusterSize, found_.clusterLimit});
}

Result<std::vector<NtfsStream>> CNtfsVolume::StreamsOf(const CMftRecord& base, std::uint64_t recordNumber,
                                                       const RecordFetcher& fetch,
                                                       const ClusterGeometry& clusters) const {
    if (clusters.clusterSize == 0) return Error::Make(ErrorKind::InvalidArgument, "no geometry");
    std::vector<const NtfsDataAttribute*> extents;
    for (const NtfsDataAttribute& d : base.data) extents.push_back(&d);
    std::vector<std::unique_ptr<CMftRecord>> extensions;
    bool listIncomplete = false;

    if (base.hasAttributeList) {
        std::vector<std::byte> listBytes;
        const NtfsDataAttribute& list = base.attributeList;
        if (list.resident) {
            listBytes.assign(list.value.begin(), list.value.end());
        } else {
            NtfsStream listStream;
            const RunListResult runs =
                DecodeRunList(list.mappingPairs, 0, RunListLimits{65536, clusters.clusterLimit});
            listStream.runs = runs.runs;
            listStream.clusterSize = clusters.clusterSize;
            listStream.dataSize = listStream.initializedSize =
                std::min(list.dataSize, kMaxAttributeListBytes);
            listStream.initializedSize = std::min(listStream.initializedSize, list.initializedSize);
            const Result<void> read = CopyStream(listStream, listStream.dataSize,
                                                 [&](std::span<const std::byte> b) -> Result<void> {
                                                     listBytes.insert(listBytes.end(), b.begin(), b.end());
                                                     return {};
                                                 });
            if (!read) listIncomplete = true;
        }
        std::set<std::uint64_t> loaded;
        for (const NtfsAttributeListEntry& entry : ParseAttributeList(listBytes)) {
            const std::uint64_t n = ReferenceRecord(entry.reference);
            if (entry.type != kAttrData || n == recordNumber || loaded.count(n) != 0) continue;
            if (loaded.size() >= kMaxExtensionRecords) break;
            loaded.insert(n);
            auto bytes = fetch(n);
            auto extension = std::make_unique<CMftRecord>();
            // An extension record that is gone, or now belongs to another file, no longer describes
            // this one: its extents read as zeros and the stream is marked incomplete.
            if (!bytes || extension->Parse(*bytes) != kNtfsOk ||
                ReferenceRecord(extension->baseReference) != recordNumber) {
                listIncomplete = true;
                continue;
            }
            for (const NtfsDataAttribute& d : extension->data) extents.push_back(&d);
            extensions.push_back(std::move(extension));
        }
    }

    std::map<std::u16string, std::vector<const NtfsDataAttribute*>> byName;
    for (const NtfsDataAttribute* d : extents) byName[d->name].push_back(d);

    std::vector<NtfsStream> streams;
    for (auto& [name, parts] : byName) {
        std::stable_sort(
            parts.begin(), parts.end(),
            [](const NtfsDataAttribute* a, const NtfsDataAttribute* b) { return a->firstVcn < b->firstVcn; });
        const std::uint64_t kMaxVcn = (UINT64_MAX >> 1) / clusters.clusterSize;
        NtfsStream s;
        s.name = name;
        s.clusterSize = clusters.clusterSize;
        s.complete = !listIncomplete;
        const NtfsDataAttribute& head = *parts.front();
        if (head.resident) {
            s.resident = true;
            s.residentData.assign(head.value.begin(), head.value.end());
            s.dataSize = s.initializedSize = head.value.size();
            streams.push_back(std::move(s));
            continue;
        }
        if (head.firstVcn != 0) s.complete = false;  // the first extent is gone: sizes are unknown
        s.dataSize = head.dataSize;
        s.initializedSize = std::min(head.initializedSize, head.dataSize);
        s.flags = head.flags;
        if ((head.flags & kDataCompressed) != 0 && head.compressionUnitShift != 0 &&
            head.compressionUnitShift < 16) {
            s.compressionUnitClusters = 1u << head.compressionUnitShift;
        }
        std::uint64_t nextVcn = head.firstVcn;
        for (const NtfsDataAttribute* part : parts) {
            if (part->resident) continue;
            if (part->firstVcn < nextVcn) continue;  // a duplicate or overlapping extent
            if (part->firstVcn != nextVcn) s.complete = false;
            RunListResult runs = DecodeRunList(part->mappingPairs, part->firstVcn,
                                               RunListLimits{65536, clusters.clusterLimit});
            if (!runs.complete) s.complete = false;
            if (s.runs.size() + runs.runs.size() > kMaxRunsPerStream) {
                s.complete = false;
                break;
            }
            for (const ClusterRun& run : runs.runs) {
                // Positions past this cannot be expressed in bytes: the run list is corrupt there.
                if (run.length > kMaxVcn || run.vcn > kMaxVcn - run.length) {
                    s.complete = false;
                    break;
                }
                s.runs.push_back(run);
                nextVcn = run.vcn + run.length;
            }
        }
        streams.push_back(std::move(s));
    }
    return streams;
}

// The index of the first run that ends after `vcn` (it holds vcn, or starts after it); runs are in
// VCN order.
std::size_t FirstRunEndingAfter(const std::vector<ClusterRun>& runs, std::uint64_t vcn) {
    const auto it =
        std::upper_bound(runs.begin(), runs.end(), vcn,
                         [](std::uint64_t v, const ClusterRun& run) { return v < run.vcn + run.length; });
    return static_cast<std::size_t>(it - runs.begin());
}

bool CNtfsVolume::ReadStored(const NtfsStream& stream, std::uint64_t position,
                             std::span<std::byte> out) const {
    const std::uint64_t clusterSize = ClusterSizeOf(stream);
    if (clusterSize == 0) {
        std::fill(out.begin(), out.end(), std::byte{0});
        return false;
    }
    bool whole = true;
    std::size_t index = FirstRunEndingAfter(stream.runs, position / clusterSize);
    for (std::size_t done = 0; done < out.size();) {
        const std::uint64_t at = position + done;
        const std::uint64_t vcn = at / clusterSize;
        while (index < stream.runs.size() && stream.runs[index].vcn + stream.runs[index].length <= vcn)
            ++index;
        const ClusterRun* run = index < stream.runs.size() ? &stream.runs[index] : nullptr;
        std::uint64_t available = 0;
        if (run == nullptr || run->vcn > vcn) {
            // No run maps this cluster: a hole in the run list, not in the file.
            whole = false;
            available =
                run == nullptr ? out.size() - done : (run->vcn - vcn) * clusterSize - at % clusterSize;
        } else {
            available = (run->vcn + run->length - vcn) * clusterSize - at % clusterSize;
        }
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(available, out.size() - done));
        if (n == 0) {
            // Runs out of order: nothing more can be mapped from here.
            whole = false;
            run = nullptr;
            n = out.size() - done;
        }
        const std::span<std::byte> piece = out.subspan(done, n);
        if (run == nullptr || run->vcn > vcn || run->sparse) {
            std::fill(piece.begin(), piece.end(), std::byte{0});
        } else if (!ReadVolume((run->lcn + (vcn - run->vcn)) * clusterSize + at % clusterSize, piece)) {
            std::fill(piece.begin(), piece.end(), std::byte{0});
            whole = false;
        }
        done += n;
    }
    return whole;
}

Result<void> CNtfsVolume::CopyStream(const NtfsStream& stream, std::uint64_t maxBytes, const NtfsSink& sink,
                                     const HoleSink& skipHole) const {
    if (stream.resident) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, stream.residentData.size()));
        if (n == 0) return {};
        return sink(std::span<const std::byte>(stream.residentData).first(n));
    }
    const std::uint64_t clusterSize = ClusterSizeOf(stream);
    if (clusterSize == 0) return Error::Make(ErrorKind::InvalidArgument, "no geometry");

    // Bytes that no run maps cannot be the file's: never hand out more than the runs cover.
    const std::uint64_t coveredClusters =
        stream.runs.empty() ? 0 : stream.runs.back().vcn + stream.runs.back().length;
    const std::uint64_t covered =
        coveredClusters > UINT64_MAX / clusterSize ? UINT64_MAX : coveredClusters * clusterSize;
    const std::uint64_t limit = std::min({maxBytes, stream.dataSize, covered});
    const std::uint64_t valid = stream.initializedSize;
    bool damaged = !stream.complete || (stream.dataSize > covered && maxBytes > covered);

    const auto fillRaw = [&](std::uint64_t position, std::span<std::byte> out) {
        if (!ReadStored(stream, position, out)) damaged = true;
    };
    const auto zeroPastValid = [&](std::uint64_t position, std::span<std::byte> block) {
        if (position + block.size() <= valid) return;
        const std::size_t from = position >= valid ? 0 : static_cast<std::size_t>(valid - position);
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(from), block.end(), std::byte{0});
    };

    // The byte just past the run that holds `position`, and whether that run is sparse; nullopt where no
    // run maps it.
    const auto runAt = [&](std::uint64_t position) -> std::optional<std::pair<std::uint64_t, bool>> {
        const std::uint64_t vcn = position / clusterSize;
        const std::size_t i = FirstRunEndingAfter(stream.runs, vcn);
        if (i >= stream.runs.size() || stream.runs[i].vcn > vcn) return std::nullopt;
        const std::uint64_t end = stream.runs[i].vcn + stream.runs[i].length;
        return std::make_pair(end > UINT64_MAX / clusterSize ? UINT64_MAX : end * clusterSize,
                              stream.runs[i].sparse);
    };
    // Bytes from `position` on that the source does not store: past the initialized size or sparse.
    const auto holeAt = [&](std::uint64_t position) -> std::uint64_t {
        if (position >= valid) return limit - position;
        const auto run = runAt(position);
        return run && run->second ? std::min(limit, run->first) - position : 0;
    };

    if (stream.compressionUnitClusters == 0) {
        std::vector<std::byte> block(
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, std::max<std::uint64_t>(limit, 1))));
        for (std::uint64_t position = 0; position < limit;) {
            std::uint64_t stored = limit - position;
            if (skipHole) {
                if (const std::uint64_t hole = holeAt(position); hole > 0) {
                    if (auto skipped = skipHole(hole); !skipped) return skipped.error();
                    position += hole;
                    continue;
                }
                // Stop where the next hole could begin, so that it is skipped whole.
                const auto run = runAt(position);
                stored = std::min(valid, run ? run->first : limit) - position;
            }
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>({block.size(), limit - position, stored}));
            const std::span<std::byte> piece = std::span<std::byte>(block).first(n);
            fillRaw(position, piece);
            zeroPastValid(position, piece);
            if (auto sent = sink(piece); !sent) return sent.error();
            position += n;
        }
    } else {
        const std::uint64_t unitClusters = stream.compressionUnitClusters;
        const std::uint64_t unitBytes = unitClusters * clusterSize;
        if (unitBytes > kMaxCompressionUnitBytes) return Error::Corrupt("compression unit too large");
        std::vector<std::byte> stored(static_cast<std::size_t>(unitBytes));
        std::vector<std::byte> unit(static_cast<std::size_t>(unitBytes));
        for (std::uint64_t position = 0; position < limit; position += unitBytes) {
            const std::uint64_t firstVcn = position / clusterSize;
            // A unit is stored raw when all its clusters are allocated, is a hole when none is, and
            // otherwise holds LZNT1 data in its allocated clusters, which come first.
            std::uint64_t allocated = 0;
            bool holes = false;
            for (std::size_t i = FirstRunEndingAfter(stream.runs, firstVcn); i < stream.runs.size(); ++i) {
                const ClusterRun& run = stream.runs[i];
                if (run.vcn >= firstVcn + unitClusters) break;
                if (run.vcn + run.length <= firstVcn) continue;
                const std::uint64_t from = std::max(run.vcn, firstVcn);
                const std::uint64_t to = std::min(run.vcn + run.length, firstVcn + unitClusters);
                if (run.sparse) {
                    holes = true;
                } else {
                    allocated += to - from;
                }
            }
            if (allocated == unitClusters || (!holes && allocated > 0)) {
                fillRaw(position, unit);
            } else if (allocated == 0) {
                std::fill(unit.begin(), unit.end(), std::byte{0});
            } else {
                const std::span<std::byte> compressed =
                    std::span<std::byte>(stored).first(static_cast<std::size_t>(allocated * clusterSize));
                fillRaw(position, compressed);
                const auto produced = Lznt1Decompress(compressed, unit);
                if (!produced) {
                    damaged = true;
                    std::fill(unit.begin(), unit.end(), std::byte{0});
                } else {
                    std::fill(unit.begin() + static_cast<std::ptrdiff_t>(*produced), unit.end(),
                              std::byte{0});
                }
            }
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(unitBytes, limit - position));
            if (skipHole && (allocated == 0 || position >= valid)) {
                if (auto skipped = skipHole(n); !skipped) return skipped.error();
                continue;
            }
            const std::span<std::byte> piece = std::span<std::byte>(unit).first(n);
            zeroPastValid(position, piece);
            if (auto sent = sink(piece); !sent) return sent.error();
        }
    }
    if (damaged)
        return Error::Corrupt(
            "parts of the data could not be read or are not mapped; they were written as zeros");
    return {};
}

Result<std::optional<NtfsStream>> CNtfsVolume::StreamOfNode(const NtfsFileNode& node) const {
    Result<std::vector<NtfsStream>> streams = Error{};
    if (node.ownRecord) {
        streams = ResolveFoundStreams(*node.ownRecord, node.recordNumber);
    } else {
        if (recordCount_ == 0 || node.imageIndex != 0)
            return Error::Make(ErrorKind::NotFound, "the MFT is not loaded");
        streams = ResolveStreams(node.recordNumber);
    }
    if (!streams) return streams.error();
    for (NtfsStream& s : *streams) {
        if (Utf16ToUtf8(s.name) == node.streamName) return std::optional<NtfsStream>(std::move(s));
    }
    return std::optional<NtfsStream>();
}

Result<void> CNtfsVolume::WriteFileData(const NtfsFileNode& node, const NtfsSink& sink,
                                        const HoleSink& holes) const {
    Result<std::optional<NtfsStream>> stream = StreamOfNode(node);
    if (!stream) return stream.error();
    if (!*stream) {
        if (node.size == 0) return {};
        return Error::Corrupt("the record no longer holds the file's data");
    }
    if (((*stream)->flags & kDataEncrypted) != 0) {
        return Error::Make(ErrorKind::Unsupported, "the file is encrypted; its clusters are written as stored");
    }
    return CopyStream(**stream, UINT64_MAX, sink, holes);
}

std::vector<CNtfsVolume::DiskExtent> CNtfsVolume::DiskExtents(const NtfsFileNode& node) const {
    std::vector<DiskExtent> extents;
    Result<std::optional<NtfsStream>> found = StreamOfNode(node);
    if (!found || !*found) return extents;
    const NtfsStream& stream = **found;
    if (stream.resident || stream.compressionUnitClusters != 0 || (stream.flags & kDataEncrypted) != 0)
        return extents;
    const std::uint64_t clusterSize = ClusterSizeOf(stream);
    const std::uint64_t end = std::min(stream.dataSize, stream.initializedSize);
    for (const ClusterRun& run : stream.runs) {
        if (run.sparse) continue;
        // Run lists were bounded when read; these products stay far below 2^64.
        const std::uint64_t fileOffset = run.vcn * clusterSize;
        if (fileOffset >= end) break;
        const std::uint64_t length = std::min(run.length * clusterSize, end - fileOffset);
        extents.push_back({fileOffset, volumeOffset_ + run.lcn * clusterSize, length});
    }
    return extents;
}

Result<std::vector<std::byte>> CNtfsVolume::ReadFileData(const NtfsFileNode& node,
                                                         std::uint64_t maxBytes) const {
    std::vector<std::byte> bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(node.size, maxBytes)));
    Result<void> copied = WriteFileData(node, [&](std::span<const std::byte> block) -> Result<void> {
        const std::size_t room = static_cast<std::size_t>(maxBytes - bytes.size());
        const std::size_t n = std::min(room, block.size());
        bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
        if (bytes.size() >= maxBytes) return Error::Make(ErrorKind::Cancelled, "enough");
        return {};
    });
    if (!copied && copied.error().kind != ErrorKind::Cancelled) return copied.error();
    return bytes;
}

void CNtfsVolume::BuildSelection(const NtfsResultTree& tree, NtfsResultTree::ItemId item) {
    // Depth first, children in order: the order the tree shows, and the order files are written.
    std::vector<NtfsResultTree::ItemId> pending{item};
    while (!pending.empty()) {
        const NtfsResultTree::ItemId id = pending.back();
        pending.pop_back();
        if (!tree.valid(id)) continue;
        for (std::uint32_t index : tree.item(id).data.nodes) {
            if (index >= nodes_.size()) continue;
            NtfsFileNode* node = nodes_[index].get();
            if (node == nullptr || !node->selected || !inSelection_.insert(node).second) continue;
            selection_.push_back(node);
        }
        const auto& children = tree.item(id).children;
        for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(*child);
    }
}

}  // namespace lumacore
