// The deleted-file scan: every free record of the MFT becomes a node, hung into the tree
// under the chain of folders its parent references lead to.
#include "core/byte_reader.h"
#include "core/size_text.h"
#include "engines/ntfs/ntfs_mft_stream.h"
#include "engines/ntfs/ntfs_node_builder.h"
#include "engines/ntfs/ntfs_volume.h"
#include "layout/ntfs_record_header.h"

namespace lumacore {

namespace {

constexpr std::uint32_t kRootRecord = 5;

}  // namespace

NtfsRecordSource CNtfsVolume::CurrentMftSource() const {
    NtfsRecordSource source;
    source.record = [this](std::uint64_t n) {
        return n < recordCount_ ? Record(static_cast<std::uint32_t>(n)) : std::span<const std::byte>();
    };
    source.count = recordCount_;
    source.streamSizes = [this](std::uint32_t number, std::span<const std::byte>) {
        std::vector<std::pair<std::u16string, std::uint64_t>> sizes;
        if (auto resolved = ResolveStreams(number)) {
            for (const NtfsStream& s : *resolved) sizes.emplace_back(s.name, s.dataSize);
        }
        return sizes;
    };
    return source;
}

NtfsResultTree::ItemId CNtfsVolume::InsertRoot(NtfsResultTree& tree) {
    rootItem_ = tree.InsertLast(NtfsResultTree::kNoItem, Format("NTFS - Logical Disk (%c:)", driveLetter_));
    tree.item(rootItem_).data.recordNumber = kRootRecord;
    return rootItem_;
}

namespace {

// A free base record: what the deleted-file scan offers to the node builder. The header fields read
// here lie before the first fix-up position.
bool IsFreeBaseRecord(std::span<const std::byte> bytes) {
    const auto header = DecodeNtfsRecordHeader(bytes);
    return header && !header->InUse() && !header->IsExtension();
}

}  // namespace

bool CNtfsVolume::DeletedFileScan(NtfsResultTree& tree, const FilterSettings& filter,
                                  ProgressFields& progress, const StopToken& stop, MftReading reading) {
    progress.Start("Found Deleted Files : 0", 0);
    InsertRoot(tree);
    bool ok = ReadBootSector() == kNtfsOk;
    if (ok) ok = (reading == MftReading::Streamed ? OpenMft() : LoadMft()) == kNtfsOk;
    if (ok) {
        NtfsNodeOptions options;
        options.progress = &progress;
        options.progressPrefix = "Found Deleted Files : ";
        progress.SetTotal(recordCount_);
        if (reading == MftReading::Streamed) {
            // Folder chains are rebuilt from the folders noted as the records stream past, never from
            // the records themselves: the source gives none.
            options.noteFolders = true;
            NtfsRecordSource source = CurrentMftSource();
            source.record = [](std::uint64_t) { return std::span<const std::byte>(); };
            NtfsNodeBuilder builder(*this, tree, rootItem_, filter, std::move(source), options);
            ScanStreamed(builder, progress, stop);
        } else {
            NtfsNodeBuilder builder(*this, tree, rootItem_, filter, CurrentMftSource(), options);
            ScanImage(builder, progress, stop);
        }
    }
    tree.Expand(rootItem_);
    tree.Select(rootItem_);
    return ok;
}

void CNtfsVolume::ScanImage(NtfsNodeBuilder& builder, ProgressFields& progress, const StopToken& stop) {
    for (std::uint32_t i = kFirstUserRecord; i < recordCount_ && !stop.StopRequested(); ++i) {
        progress.SetDone(i);
        const std::span<const std::byte> bytes = Record(i);
        if (IsFreeBaseRecord(bytes)) builder.TakeRecord(i, bytes);
    }
}

void CNtfsVolume::ScanStreamed(NtfsNodeBuilder& builder, ProgressFields& progress, const StopToken& stop) {
    // A file's folders may lie after it in the MFT: its nodes are placed once every record was seen.
    std::vector<NtfsNodeBuilder::Prepared> prepared;
    const std::uint32_t recordSize = geometry_.recordSize;
    const NtfsMftStream stream(
        [this](std::uint64_t position, std::span<std::byte> out) { ReadMftBytes(position, out); },
        recordCount_, recordSize);
    stream.ForEachWindow([&](std::uint64_t first, std::span<const std::byte> records) {
        for (std::size_t at = 0; at + recordSize <= records.size(); at += recordSize) {
            if (stop.StopRequested()) return false;
            const auto i = static_cast<std::uint32_t>(first + at / recordSize);
            progress.SetDone(i);
            const std::span<const std::byte> bytes = records.subspan(at, recordSize);
            // Prepare notes the folders among the records it parses; the others are noted here.
            if (i < kFirstUserRecord || !IsFreeBaseRecord(bytes)) {
                builder.NoteFolder(i, bytes);
            } else if (auto node = builder.Prepare(i, bytes)) {
                prepared.push_back(std::move(*node));
            }
        }
        return true;
    });
    for (NtfsNodeBuilder::Prepared& node : prepared) {
        if (stop.StopRequested()) break;
        builder.Place(std::move(node));
    }
}

}  // namespace lumacore
