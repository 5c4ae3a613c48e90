// The deleted-file scan: every free record of the MFT image becomes a node, hung into the tree
// under the chain of folders its parent references lead to.
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "core/byte_reader.h"
#include "core/dos_date.h"
#include "core/filter.h"
#include "core/size_text.h"
#include "core/utf8.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "engines/ntfs/ntfs_volume.h"

namespace lumacore {

namespace {

// Records up to here are the system files and the reserved ones; a parent reference into them
// (the root is 5) puts a file in the root.
constexpr std::uint64_t kLastSystemRecord = 23;
constexpr std::uint32_t kRootRecord = 5;
constexpr std::uint16_t kRecordIsDirectory = 0x0002;
// NTFS paths hold at most 32,767 characters, so no real chain is deeper than this; a longer one
// loops.
constexpr std::size_t kMaxFolderDepth = 16384;
}  // namespace

class NtfsDeletedScan {
public:
    NtfsDeletedScan(CNtfsVolume& volume, NtfsResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                    const StopToken& stop)
        : volume_(volume), tree_(tree), filter_(filter), progress_(progress), stop_(stop) {}

    void Run();

private:
    // What the chain walk needs of a record that may be a folder.
    struct FolderFacts {
        bool parsed = false;
        bool folder = false;
        bool inUse = false;
        std::uint16_t sequence = 0;
        std::uint64_t parentReference = 0;
        std::string name;
    };

    void TakeRecord(std::uint32_t number, std::span<const std::byte> bytes);
    void BuildChain(std::uint64_t parentReference, NtfsFileNode& node);
    void AddBreak(std::uint64_t record, NtfsFileNode& node);
    const FolderFacts& FactsOf(std::uint32_t number);
    bool Accepts(const NtfsFileNode& node) const;
    void Hang(std::uint32_t index);

    CNtfsVolume& volume_;
    NtfsResultTree& tree_;
    const FilterSettings& filter_;
    ProgressFields& progress_;
    const StopToken& stop_;
    std::unordered_map<std::uint32_t, FolderFacts> facts_;
    std::unordered_map<std::uint64_t, int> inventedNames_;  // broken record -> its "Dir%d" number
    int inventedCounter_ = 0;
    std::unordered_map<std::string, NtfsResultTree::ItemId> folderItems_;  // parent, record, text -> item
    CMftRecord record_;
    std::uint64_t accepted_ = 0;
};

void NtfsDeletedScan::Run() {
    const std::uint32_t count = volume_.RecordCount();
    progress_.SetTotal(count);
    for (std::uint32_t i = CNtfsVolume::kFirstUserRecord; i < count && !stop_.StopRequested(); ++i) {
        progress_.SetDone(i);
        const std::span<const std::byte> bytes = volume_.Record(i);
        // The header fields read here lie before the first fix-up position.
        const ByteReader r(bytes);
        if (!r.matches(0, "FILE") || (r.u16le(0x16) & 1) != 0 || r.u64le(0x20) != 0) continue;
        TakeRecord(i, bytes);
    }
}

const NtfsDeletedScan::FolderFacts& NtfsDeletedScan::FactsOf(std::uint32_t number) {
    auto [it, added] = facts_.try_emplace(number);
    FolderFacts& facts = it->second;
    if (!added) return facts;
    CMftRecord names;
    if (names.ParseNames(volume_.Record(number)) != kNtfsOk) return facts;
    facts.parsed = true;
    facts.inUse = names.inUse;
    facts.sequence = names.sequence;
    if (const NtfsFileName* name = names.ChosenName()) {
        facts.folder = (name->flags & kNtfsAttrDirectory) != 0;
        facts.parentReference = name->parentReference;
        facts.name = DisplayName(name->name);
    }
    return facts;
}

void NtfsDeletedScan::AddBreak(std::uint64_t record, NtfsFileNode& node) {
    // One invented folder per broken record, so that the files of one lost folder stay together.
    auto [it, added] = inventedNames_.try_emplace(record, inventedCounter_);
    if (added) ++inventedCounter_;
    node.pathNames.push_back(Format("Dir%d", it->second));
    node.pathRecords.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(record, UINT32_MAX)));
    node.pathNames.push_back(Format("Lost Files%d", node.imageIndex));
    node.pathRecords.push_back(static_cast<std::uint32_t>(node.imageIndex + 1));
}

void NtfsDeletedScan::BuildChain(std::uint64_t parentReference, NtfsFileNode& node) {
    const std::uint32_t count = volume_.RecordCount();
    std::uint64_t b = ReferenceRecord(parentReference);
    std::uint16_t expected = ReferenceSequence(parentReference);
    if (b <= kLastSystemRecord) return;
    std::unordered_set<std::uint64_t> visited;
    for (std::size_t depth = 0;; ++depth) {
        // A folder met twice is a loop of parent references: the chain breaks there.
        if (b >= count || depth >= kMaxFolderDepth || !visited.insert(b).second) {
            AddBreak(b, node);
            return;
        }
        const FolderFacts& facts = FactsOf(static_cast<std::uint32_t>(b));
        // The parent is still this file's folder when its record is of the generation the reference
        // names, or of the next one when the folder was deleted too (deleting a record moves its
        // sequence number on). A record of any other generation was reused by something else.
        const std::uint16_t next = static_cast<std::uint16_t>(expected == 0xFFFF ? 1 : expected + 1);
        const bool sameGeneration =
            expected == 0 || facts.sequence == expected || (!facts.inUse && facts.sequence == next);
        if (!facts.parsed || !facts.folder || facts.name.empty() || !sameGeneration) {
            AddBreak(b, node);
            return;
        }
        node.pathNames.push_back(facts.name);
        node.pathRecords.push_back(static_cast<std::uint32_t>(b));
        const std::uint64_t f = ReferenceRecord(facts.parentReference);
        if (f == b || f <= kLastSystemRecord) return;
        expected = ReferenceSequence(facts.parentReference);
        b = f;
    }
}

bool NtfsDeletedScan::Accepts(const NtfsFileNode& node) const {
    // The folder filter is a drive root ("C:\") unless a caller narrows it to a folder of the volume.
    if (volume_.folderFilter.size() > 3) {
        std::string path;
        for (auto it = node.pathNames.rbegin(); it != node.pathNames.rend(); ++it) path += "\\" + *it;
        const std::string wanted = volume_.folderFilter.substr(2);
        if (LowerCaseUtf8(path + "\\").rfind(LowerCaseUtf8(wanted), 0) != 0) return false;
    }
    if (!volume_.nameFilter.empty() &&
        LowerCaseUtf8(node.name).find(LowerCaseUtf8(volume_.nameFilter)) == std::string::npos) {
        return false;
    }
    return PassesFilter(NtfsFilterSubject(node), filter_);
}

void NtfsDeletedScan::TakeRecord(std::uint32_t number, std::span<const std::byte> bytes) {
    if (record_.Parse(bytes) != kNtfsOk) return;
    const NtfsFileName* chosen = record_.ChosenName();
    if (chosen == nullptr || chosen->name.empty()) return;
    // Deleted folders are not listed themselves: they appear as the folders of their files.
    if ((chosen->flags & kNtfsAttrDirectory) != 0) return;
    const ByteReader header(bytes);
    if ((header.u16le(0x16) & kRecordIsDirectory) != 0) return;

    // The streams' sizes. A record with an $ATTRIBUTE_LIST may keep its $DATA elsewhere.
    std::vector<std::pair<std::u16string, std::uint64_t>> streams;
    if (record_.hasAttributeList) {
        if (auto resolved = volume_.ResolveStreams(number)) {
            for (const NtfsStream& s : *resolved) streams.emplace_back(s.name, s.dataSize);
        }
    } else {
        for (const NtfsDataAttribute& d : record_.data) {
            if (d.firstVcn == 0) streams.emplace_back(d.name, d.dataSize);
        }
    }

    auto base = std::make_unique<NtfsFileNode>();
    base->name = DisplayName(chosen->name);
    base->recordNumber = number;
    base->creationTime = record_.creationTime;
    base->modificationTime = record_.modificationTime;
    base->accessTime = record_.accessTime;
    base->attributes = chosen->flags | record_.fileAttributes;
    base->deleted = !record_.inUse;
    for (const auto& [name, size] : streams) {
        if (name.empty()) base->size = size;
    }
    BuildChain(chosen->parentReference, *base);

    std::vector<std::unique_ptr<NtfsFileNode>> found;
    for (const auto& [name, size] : streams) {
        if (name.empty()) continue;
        auto named = std::make_unique<NtfsFileNode>(*base);
        named->streamName = Utf16ToUtf8(name);
        named->name = base->name + ":" + DisplayName(name);
        named->size = size;
        found.push_back(std::move(named));
    }
    found.insert(found.begin(), std::move(base));

    for (auto& node : found) {
        if (!Accepts(*node)) continue;
        const auto index = static_cast<std::uint32_t>(volume_.nodes_.size());
        volume_.nodes_.push_back(std::move(node));
        Hang(index);
        ++accepted_;
        progress_.SetText("Found Deleted Files : " + std::to_string(accepted_));
    }
}

void NtfsDeletedScan::Hang(std::uint32_t index) {
    const NtfsFileNode& node = *volume_.nodes_[index];
    NtfsResultTree::ItemId at = volume_.rootItem_;
    for (std::size_t i = node.pathNames.size(); i-- > 0;) {
        std::string key = std::to_string(at) + '/' + std::to_string(node.pathRecords[i]) + '/' + node.pathNames[i];
        auto [it, added] = folderItems_.try_emplace(std::move(key), NtfsResultTree::kNoItem);
        if (added) {
            it->second = tree_.InsertLast(at, node.pathNames[i]);
            tree_.SetImages(it->second, 1, 2);
            tree_.item(it->second).data.recordNumber = node.pathRecords[i];
        }
        at = it->second;
    }
    tree_.item(at).data.nodes.push_back(index);
}

bool CNtfsVolume::DeletedFileScan(NtfsResultTree& tree, const FilterSettings& filter, ProgressFields& progress,
                                  const StopToken& stop) {
    progress.Start("Found Deleted Files : 0", 0);
    rootItem_ = tree.InsertLast(NtfsResultTree::kNoItem, Format("NTFS - Logical Disk (%c:)", driveLetter_));
    tree.item(rootItem_).data.recordNumber = kRootRecord;
    bool ok = ReadBootSector() == kNtfsOk && LoadMft() == kNtfsOk;
    if (ok) {
        NtfsDeletedScan scan(*this, tree, filter, progress, stop);
        scan.Run();
    }
    tree.Expand(rootItem_);
    tree.Select(rootItem_);
    return ok;
}

}  // namespace lumacore
