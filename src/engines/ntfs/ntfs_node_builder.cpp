#include "engines/ntfs/ntfs_node_builder.h"
#include "layout/ntfs_record_header.h"

#include <ctime>
#include <unordered_set>

#include "core/byte_reader.h"
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
constexpr std::uint64_t kRootRecord = 5;
constexpr std::uint64_t kExtendRecord = 11;
// NTFS paths hold at most 32,767 characters, so no real chain is deeper than this; a longer one
// loops.
constexpr std::size_t kMaxFolderDepth = 16384;

}  // namespace

NtfsNodeBuilder::NtfsNodeBuilder(CNtfsVolume& volume, NtfsResultTree& tree, NtfsResultTree::ItemId base,
                                 const FilterSettings& filter, NtfsRecordSource source,
                                 NtfsNodeOptions options)
    : volume_(volume),
      tree_(tree),
      base_(base),
      filter_(filter),
      source_(std::move(source)),
      options_(std::move(options)) {}

NtfsNodeBuilder::FolderFacts NtfsNodeBuilder::FactsFrom(const CMftRecord& names) {
    FolderFacts facts;
    facts.parsed = true;
    facts.inUse = names.inUse;
    facts.sequence = names.sequence;
    if (const NtfsFileName* name = names.ChosenName()) {
        facts.folder = (name->flags & kNtfsAttrDirectory) != 0;
        facts.parentReference = name->parentReference;
        if (facts.folder) facts.name = DisplayName(name->name);
    }
    return facts;
}

NtfsNodeBuilder::FolderFacts NtfsNodeBuilder::ReadFacts(std::span<const std::byte> bytes) {
    CMftRecord names;
    if (names.ParseNames(bytes) != kNtfsOk) return {};
    return FactsFrom(names);
}

const NtfsNodeBuilder::FolderFacts& NtfsNodeBuilder::FactsOf(std::uint64_t number) {
    auto [it, added] = facts_.try_emplace(number);
    if (added) it->second = ReadFacts(source_.record(number));
    return it->second;
}

void NtfsNodeBuilder::KeepIfFolder(std::uint64_t number, FolderFacts facts) {
    // A record that is no folder breaks every chain that reaches it, which is also what a record
    // the source cannot give does: only folders need to be kept.
    if (facts.folder) facts_.insert_or_assign(number, std::move(facts));
}

void NtfsNodeBuilder::NoteFolder(std::uint64_t number, std::span<const std::byte> bytes) {
    if (names_.ParseNames(bytes) == kNtfsOk) KeepIfFolder(number, FactsFrom(names_));
}

void NtfsNodeBuilder::AddBreak(std::uint64_t record, NtfsFileNode& node) {
    // One invented folder per broken record, so that the files of one lost folder stay together.
    auto [it, added] = inventedNames_.try_emplace(record, inventedCounter_);
    if (added) ++inventedCounter_;
    node.pathNames.push_back(Format("Dir%d", it->second));
    node.pathRecords.push_back(static_cast<std::uint32_t>(std::min<std::uint64_t>(record, UINT32_MAX)));
    node.pathNames.push_back(Format("Lost Files%d", node.imageIndex));
    node.pathRecords.push_back(static_cast<std::uint32_t>(node.imageIndex + 1));
}

bool NtfsNodeBuilder::BuildChain(std::uint64_t parentReference, NtfsFileNode& node) {
    std::uint64_t b = ReferenceRecord(parentReference);
    std::uint16_t expected = ReferenceSequence(parentReference);
    if (b <= kLastSystemRecord) return !(options_.skipSystemFiles && b == kExtendRecord);
    std::unordered_set<std::uint64_t> visited;
    for (std::size_t depth = 0;; ++depth) {
        // A folder met twice is a loop of parent references: the chain breaks there.
        if (b >= source_.count || depth >= kMaxFolderDepth || !visited.insert(b).second) {
            AddBreak(b, node);
            return true;
        }
        const FolderFacts& facts = FactsOf(b);
        // The parent is still this file's folder when its record is of the generation the reference
        // names, or of the next one when the folder was deleted too (deleting a record moves its
        // sequence number on). A record of any other generation was reused by something else.
        const std::uint16_t next = static_cast<std::uint16_t>(expected == 0xFFFF ? 1 : expected + 1);
        const bool sameGeneration =
            expected == 0 || facts.sequence == expected || (!facts.inUse && facts.sequence == next);
        if (!facts.parsed || !facts.folder || facts.name.empty() || !sameGeneration) {
            AddBreak(b, node);
            return true;
        }
        node.pathNames.push_back(facts.name);
        node.pathRecords.push_back(static_cast<std::uint32_t>(b));
        const std::uint64_t f = ReferenceRecord(facts.parentReference);
        if (f <= kLastSystemRecord) return !(options_.skipSystemFiles && f == kExtendRecord);
        if (f == b) return true;
        expected = ReferenceSequence(facts.parentReference);
        b = f;
    }
}

bool NtfsNodeBuilder::Accepts(const NtfsFileNode& node) const {
    if (options_.folderAndNameFilters) {
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
    }
    return PassesFilter(NtfsFilterSubject(node), filter_);
}

std::size_t NtfsNodeBuilder::TakeRecord(std::uint32_t number, std::span<const std::byte> bytes,
                                        const std::shared_ptr<const std::vector<std::byte>>& ownRecord) {
    auto prepared = Prepare(number, bytes, ownRecord);
    return prepared ? Place(std::move(*prepared)) : 0;
}

std::optional<NtfsNodeBuilder::Prepared> NtfsNodeBuilder::Prepare(
    std::uint32_t number, std::span<const std::byte> bytes,
    const std::shared_ptr<const std::vector<std::byte>>& ownRecord) {
    if (record_.Parse(bytes) != kNtfsOk) return std::nullopt;
    if (options_.noteFolders) KeepIfFolder(number, FactsFrom(record_));
    const NtfsFileName* chosen = record_.ChosenName();
    if (chosen == nullptr || chosen->name.empty()) return std::nullopt;
    // Folders are not listed themselves: they appear as the folders of their files.
    if ((chosen->flags & kNtfsAttrDirectory) != 0) return std::nullopt;
    // Parse() succeeded, so the header decodes.
    if (const auto header = DecodeNtfsRecordHeader(bytes); !header || header->IsDirectory())
        return std::nullopt;
    if (options_.skipSystemFiles && ReferenceRecord(chosen->parentReference) == kRootRecord &&
        chosen->name.front() == u'$') {
        return std::nullopt;
    }

    Prepared prepared;
    prepared.base = std::make_unique<NtfsFileNode>();
    NtfsFileNode& base = *prepared.base;
    base.name = DisplayName(chosen->name);
    base.recordNumber = number;
    base.imageIndex = options_.imageIndex;
    base.creationTime = record_.creationTime;
    base.modificationTime = record_.modificationTime;
    base.accessTime = record_.accessTime;
    base.mftChangeTime = record_.mftChangeTime;
    base.attributes = chosen->flags | record_.fileAttributes;
    base.deleted = !record_.inUse;
    base.ownRecord = ownRecord;
    prepared.parentReference = chosen->parentReference;
    // A record with an $ATTRIBUTE_LIST may keep its $DATA elsewhere: its sizes come from the
    // source when it is placed, where reading other records is allowed.
    prepared.resolveStreams = record_.hasAttributeList;
    for (const NtfsDataAttribute& d : record_.data) {
        if (prepared.resolveStreams || d.firstVcn != 0) continue;
        if (d.name.empty()) {
            base.size = d.dataSize;
        } else {
            prepared.namedStreams.emplace_back(d.name, d.dataSize);
        }
    }
    return prepared;
}

std::size_t NtfsNodeBuilder::Place(Prepared prepared) {
    NtfsFileNode& base = *prepared.base;
    if (prepared.resolveStreams) {
        const auto bytes =
            base.ownRecord ? std::span<const std::byte>(*base.ownRecord) : std::span<const std::byte>();
        for (const auto& [name, size] : source_.streamSizes(base.recordNumber, bytes)) {
            if (name.empty()) {
                base.size = size;
            } else {
                prepared.namedStreams.emplace_back(name, size);
            }
        }
    }
    if (!BuildChain(prepared.parentReference, base)) return 0;
    if (!options_.topFolder.empty()) {
        base.pathNames.push_back(options_.topFolder);
        base.pathRecords.push_back(options_.topFolderNumber);
    }

    std::vector<std::unique_ptr<NtfsFileNode>> found;
    found.push_back(std::move(prepared.base));
    for (const auto& [name, size] : prepared.namedStreams) {
        auto named = std::make_unique<NtfsFileNode>(*found.front());
        named->streamName = Utf16ToUtf8(name);
        named->name = found.front()->name + ":" + DisplayName(name);
        named->size = size;
        found.push_back(std::move(named));
    }

    std::size_t taken = 0;
    for (auto& node : found) {
        if (!Accepts(*node)) continue;
        const auto index = static_cast<std::uint32_t>(volume_.nodes_.size());
        volume_.nodes_.push_back(std::move(node));
        Hang(index);
        ++accepted_;
        ++taken;
        if (options_.progress != nullptr) {
            options_.progress->SetText(options_.progressPrefix + std::to_string(accepted_));
        }
    }
    return taken;
}

void NtfsNodeBuilder::Hang(std::uint32_t index) {
    const NtfsFileNode& node = *volume_.nodes_[index];
    NtfsResultTree::ItemId at = base_;
    for (std::size_t i = node.pathNames.size(); i-- > 0;) {
        std::string key =
            std::to_string(at) + '/' + std::to_string(node.pathRecords[i]) + '/' + node.pathNames[i];
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

}  // namespace lumacore
