// The deleted-file scan: every free record of the MFT image becomes a node, hung into the tree
// under the chain of folders its parent references lead to.
#include "core/byte_reader.h"
#include "core/size_text.h"
#include "engines/ntfs/ntfs_node_builder.h"
#include "engines/ntfs/ntfs_volume.h"

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

bool CNtfsVolume::DeletedFileScan(NtfsResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                                  const StopToken& stop) {
    progress.Start("Found Deleted Files : 0", 0);
    InsertRoot(tree);
    const bool ok = ReadBootSector() == kNtfsOk && LoadMft() == kNtfsOk;
    if (ok) {
        NtfsNodeOptions options;
        options.progress = &progress;
        options.progressPrefix = "Found Deleted Files : ";
        NtfsNodeBuilder builder(*this, tree, rootItem_, filter, CurrentMftSource(), options);
        const std::uint32_t count = recordCount_;
        progress.SetTotal(count);
        for (std::uint32_t i = kFirstUserRecord; i < count && !stop.StopRequested(); ++i) {
            progress.SetDone(i);
            const std::span<const std::byte> bytes = Record(i);
            // The header fields read here lie before the first fix-up position.
            const ByteReader r(bytes);
            if (!r.matches(0, "FILE") || (r.u16le(0x16) & 1) != 0 || r.u64le(0x20) != 0) continue;
            builder.TakeRecord(i, bytes);
        }
    }
    tree.Expand(rootItem_);
    tree.Select(rootItem_);
    return ok;
}

}  // namespace lumacore
