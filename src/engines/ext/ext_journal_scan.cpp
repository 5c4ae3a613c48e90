// EXT3 and EXT4: the kernel clears a deleted file's inode, but the journal still holds older copies of
// the inode-table blocks (with the inode as it was) and of the directory blocks (with its name).
#include <algorithm>
#include <limits>

#include "core/size_text.h"
#include "engines/ext/ext_volume.h"

namespace lumacore {

namespace {

// The journal is read in pieces of about this size.
constexpr std::uint64_t kJournalReadBytes = 1 << 20;
// Live inode-table blocks kept while the journal is walked: 4096 blocks is 16 MiB with 4 KiB blocks,
// more table blocks than a 32 MiB journal can log.
constexpr std::size_t kMaxCachedTableBlocks = 4096;

}  // namespace

void JournalTagQueue::Reset(std::vector<JournalTag> tags, std::uint32_t sequence) {
    tags_.assign(tags.begin(), tags.end());
    sequence_ = sequence;
}

JournalTag JournalTagQueue::Pop() {
    const JournalTag tag = tags_.front();
    tags_.pop_front();
    return tag;
}

// Transactions a name is remembered in, per inode. A name seen in more (a directory logged over and over)
// keeps its earliest sightings and its latest one: enough to tell which file it belonged to.
constexpr std::size_t kMaxSightingsPerName = 64;

// Sequence distance with wrap-around.
std::int64_t SequenceGap(std::uint32_t a, std::uint32_t b) {
    const std::int64_t d = static_cast<std::int32_t>(a - b);
    return d < 0 ? -d : d;
}

// How far apart (in transactions) a name's sightings lie from a version's inode copies; 0 when one of
// them falls among the copies.
std::int64_t Distance(const InodeSlotTable::NameSighting& name, const InodeSlotTable::Version& version) {
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (std::uint32_t seq : name.sequences) {
        if (!IsLaterSequence(version.firstSequence, seq) && !IsLaterSequence(seq, version.lastSequence))
            return 0;
        best =
            std::min({best, SequenceGap(seq, version.firstSequence), SequenceGap(seq, version.lastSequence)});
    }
    return best;
}

std::uint32_t LatestSequence(const InodeSlotTable::NameSighting& name) {
    std::uint32_t latest = name.sequences.front();
    for (std::uint32_t seq : name.sequences) {
        if (IsLaterSequence(seq, latest)) latest = seq;
    }
    return latest;
}

CExt3Volume::CExt3Volume(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
    : CExtVolume(std::move(disk), partition, kExtEngineExt3) {
    if (IsOpen() && superblock().journalInode == 0) Fail(Error::Corrupt("the volume has no journal inode"));
}

Result<std::vector<std::byte>> CExt3Volume::ReadJournalBlock(std::uint64_t journalBlock) {
    const std::uint32_t blockSize = superblock().blockSize;
    auto run = std::upper_bound(journalMap_.runs.begin(), journalMap_.runs.end(), journalBlock,
                                [](std::uint64_t value, const ExtRun& r) { return value < r.logical; });
    if (run != journalMap_.runs.begin()) {
        --run;
        if (journalBlock < run->logical + run->count)
            return ReadBlock(run->physical + (journalBlock - run->logical));
    }
    return std::vector<std::byte>(blockSize);  // a hole in the journal file
}

void CExt3Volume::Collect(ScanContext& context) {
    slots_.Clear();
    journalCopies_.clear();
    liveTables_.clear();
    journalSuperblockBytes_.clear();
    journalMap_ = {};
    const ExtSuperblock& sb = superblock();
    const std::uint32_t blockSize = sb.blockSize;

    context.completed = false;  // until the walk reaches the journal's end
    auto rawJournal = ReadInode(sb.journalInode);
    if (!rawJournal) return;
    const ExtInode journalInode = ParseExtInode(*rawJournal, sb);
    auto map = MapExtFile(
        journalInode, sb, [this](std::uint64_t b) { return ReadBlock(b); }, &context.stop);
    if (!map || map->blockCount == 0) return;
    journalMap_ = std::move(*map);
    context.progress.SetTotal(static_cast<std::int64_t>(journalInode.size));

    // Blocks come in large reads, a run of the journal file at a time.
    std::vector<std::byte> chunk;
    std::uint64_t chunkFirst = 0;
    std::uint64_t chunkCount = 0;
    const std::uint64_t chunkBlocks = std::max<std::uint64_t>(1, kJournalReadBytes / blockSize);
    auto blockAt = [&](std::uint64_t j) -> std::span<const std::byte> {
        if (j < chunkFirst || j >= chunkFirst + chunkCount) {
            chunkFirst = j;
            chunkCount = std::min(chunkBlocks, journalMap_.blockCount - j);
            // Shorten the read to the run j lies in, so that it is one read from the disk.
            auto run =
                std::upper_bound(journalMap_.runs.begin(), journalMap_.runs.end(), j,
                                 [](std::uint64_t value, const ExtRun& r) { return value < r.logical; });
            bool mapped = false;
            if (run != journalMap_.runs.begin()) {
                --run;
                if (j < run->logical + run->count) {
                    mapped = true;
                    chunkCount = std::min(chunkCount, run->logical + run->count - j);
                    chunk.resize(static_cast<std::size_t>(chunkCount * blockSize));
                    if (!ReadBlocks(run->physical + (j - run->logical), chunk)) {
                        chunkCount = 0;
                        return {};
                    }
                }
            }
            if (!mapped) {
                chunkCount = 1;
                chunk.assign(blockSize, std::byte{0});
            }
        }
        return std::span<const std::byte>(chunk).subspan(
            static_cast<std::size_t>((j - chunkFirst) * blockSize), blockSize);
    };

    const std::span<const std::byte> first = blockAt(0);
    if (first.empty()) return;
    auto journal = ParseJournalSuperblock(first);
    if (!journal || journal->blockSize != blockSize) return;
    journalSuperblockBytes_.assign(first.begin(), first.begin() + std::min<std::size_t>(first.size(), 1024));
    // The walk ends with the journal's own length and with its last mapped block: a journal inode whose
    // size claims more than its blocks would otherwise be walked through endless holes.
    std::uint64_t limit = journalMap_.blockCount;
    if (journal->maxLength != 0) limit = std::min<std::uint64_t>(limit, journal->maxLength);
    if (!journalMap_.runs.empty())
        limit = std::min(limit, journalMap_.runs.back().logical + journalMap_.runs.back().count);

    JournalTagQueue queue;
    std::vector<std::byte> copy(blockSize);
    // Returns false at a header block.
    auto take = [&](std::uint64_t j, std::span<const std::byte> block) {
        JournalHeader header;
        if (ReadJournalHeader(block, header)) {
            if (header.type == kJournalDescriptor) {
                queue.Reset(ParseDescriptorTags(block, *journal), header.sequence);
            } else {
                queue.Clear();  // commit, revoke or a superblock copy
            }
            return false;
        }
        if (queue.Empty()) return true;
        const JournalTag tag = queue.Pop();
        if (tag.block >= sb.blocksCount) return true;
        std::copy(block.begin(), block.end(), copy.begin());
        const bool escaped = (tag.flags & kJournalTagEscape) != 0;
        if (escaped) {
            // The logged block began with the journal magic, which the journal replaced by zeros.
            for (std::size_t i = 0; i < 4; ++i)
                copy[i] = std::byte{static_cast<std::uint8_t>(kJournalMagic >> (24 - 8 * i))};
        }
        TakeLoggedBlock(context, tag.block, copy, queue.sequence(), j, escaped);
        return true;
    };

    for (std::uint64_t j = 1; j < limit; ++j) {
        if (context.stop.StopRequested()) return;
        context.progress.SetDone(static_cast<std::int64_t>(j * blockSize));
        const std::span<const std::byte> block = blockAt(j);
        if (block.empty()) return;  // unreadable: the collection ends here
        take(j, block);
    }
    // A transaction that wrapped round the end of the log goes on at the log's first block.
    for (std::uint64_t j = std::max<std::uint64_t>(journal->first, 1); !queue.Empty() && j < limit; ++j) {
        if (context.stop.StopRequested()) return;
        const std::span<const std::byte> block = blockAt(j);
        if (block.empty() || !take(j, block)) break;
    }
    context.completed = true;
}

void CExt3Volume::TakeLoggedBlock(ScanContext& context, std::uint64_t block, std::span<const std::byte> copy,
                                  std::uint32_t sequence, std::uint64_t journalBlock, bool escaped) {
    switch (BlockKind(block)) {
        case BlockKind::InodeTable:
            if (context.InRange(block)) TakeInodes(context, block, copy, sequence);
            break;
        case BlockKind::Data:
            // One entry per logged block: the number of copies is bounded by the journal's length.
            journalCopies_[block].push_back({sequence, journalBlock, escaped});
            TakeNames(copy, sequence);
            break;
        default:
            break;
    }
}

void CExt3Volume::TakeInodes(ScanContext& context, std::uint64_t block, std::span<const std::byte> copy,
                             std::uint32_t sequence) {
    const ExtSuperblock& sb = superblock();
    auto cached = liveTables_.find(block);
    if (cached == liveTables_.end()) {
        auto read = ReadBlock(block);
        if (!read) return;
        if (liveTables_.size() >= kMaxCachedTableBlocks) liveTables_.clear();
        cached = liveTables_.emplace(block, std::move(*read)).first;
    }
    const std::vector<std::byte>& live = cached->second;
    const std::uint32_t firstInode = FirstInodeOfTableBlock(block);
    for (std::uint32_t k = 0; k < sb.InodesPerBlock(); ++k) {
        const std::uint64_t n = std::uint64_t{firstInode} + k;
        if (n > sb.inodesCount) break;
        const std::size_t at = std::size_t{k} * sb.inodeSize;
        const ExtInode logged = ParseExtInode(copy.subspan(at, sb.inodeSize), sb);
        // A deleted but still open file sits on the orphan list with no links, and its deletion-time
        // field holds the next orphan's inode number instead of a time: it still has its blocks.
        const bool orphan = logged.linksCount == 0 && logged.dtime != 0 && logged.dtime <= sb.inodesCount;
        if ((logged.dtime != 0 && !orphan) || !IsPlausibleFileInode(logged, sb, context.now)) continue;
        const ExtInode now = ParseExtInode(std::span<const std::byte>(live).subspan(at, sb.inodeSize), sb);
        // Still the same file on the volume (even if it changed since): not deleted. A live inode with
        // another generation was handed to a new file after the old one was deleted.
        if (now.InUse() && now.generation == logged.generation) continue;
        InodeSlotTable::Slot& slot = slots_.At(static_cast<std::uint32_t>(n));
        // Each generation is another file that held the inode number; all of them are deleted files.
        auto version =
            std::find_if(slot.versions.begin(), slot.versions.end(),
                         [&](const InodeSlotTable::Version& v) { return v.generation == logged.generation; });
        if (version == slot.versions.end()) {
            InodeSlotTable::Version fresh;
            fresh.node = std::make_unique<ExtFileNode>();
            fresh.node->inodeNumber = static_cast<std::uint32_t>(n);
            fresh.node->inode = logged;
            fresh.node->journalSequence = sequence;
            fresh.generation = logged.generation;
            fresh.firstSequence = fresh.lastSequence = sequence;
            slot.versions.push_back(std::move(fresh));
            context.CountFound();
            continue;
        }
        if (IsLaterSequence(version->firstSequence, sequence)) version->firstSequence = sequence;
        if (IsLaterSequence(sequence, version->lastSequence)) version->lastSequence = sequence;
        // The latest copy while the file was still linked has its last size and blocks; once unlinked,
        // the kernel truncates it over several transactions and the copies shrink. An unlinked copy
        // stands in only until a linked one turns up.
        const ExtInode& kept = version->node->inode;
        const bool linked = logged.linksCount != 0;
        const bool keptLinked = kept.linksCount != 0;
        if ((linked && !keptLinked) ||
            (linked == keptLinked && IsLaterSequence(sequence, *version->node->journalSequence))) {
            version->node->inode = logged;
            version->node->journalSequence = sequence;
        }
    }
}

void CExt3Volume::TakeNames(std::span<const std::byte> copy, std::uint32_t sequence) {
    const std::uint32_t inodes = superblock().inodesCount;
    const auto take = [&](std::uint32_t inode, std::uint8_t fileType, std::string_view name) {
        // Names of files, folders and devices (file_type & 3), as a directory's first block gives them.
        if (inode == 0 || inode > inodes || name.empty() || (fileType & 3) == 0) return;
        auto& names = slots_.At(inode).names;
        for (InodeSlotTable::NameSighting& seen : names) {
            if (seen.name != name) continue;
            if (std::find(seen.sequences.begin(), seen.sequences.end(), sequence) != seen.sequences.end())
                return;
            if (seen.sequences.size() < kMaxSightingsPerName) {
                seen.sequences.push_back(sequence);
            } else if (IsLaterSequence(sequence, seen.sequences.back())) {
                seen.sequences.back() = sequence;
            }
            return;
        }
        names.push_back({std::string(name), {sequence}});
    };
    // Any block of a directory whose entries hold together gives names: large directories keep most of
    // their entries in later blocks (or htree leaves), which have no "." and ".." at their start.
    if (ForEachDirectoryBlockEntry(copy, inodes, take)) return;
    if (LooksLikeFirstDirectoryBlock(copy)) ForEachFirstBlockEntry(copy, take);
}

void CExt3Volume::NameResults() {
    for (auto& [number, slot] : slots_.slots()) {
        if (slot.versions.empty()) continue;  // names whose inode the journal does not hold
        std::sort(slot.versions.begin(), slot.versions.end(), [](const auto& a, const auto& b) {
            return IsLaterSequence(b.lastSequence, a.lastSequence);
        });
        // A name belongs to the files whose inode copies lie nearest to the transactions that held it
        // (a file deleted and made again under the same name gives several); each file takes, among the
        // names that belong to it, the nearest, and of equally near ones the latest (it was renamed).
        std::vector<std::int64_t> nearest(slot.names.size(), std::numeric_limits<std::int64_t>::max());
        for (std::size_t n = 0; n < slot.names.size(); ++n) {
            for (const auto& version : slot.versions)
                nearest[n] = std::min(nearest[n], Distance(slot.names[n], version));
        }
        std::vector<const InodeSlotTable::NameSighting*> chosen(slot.versions.size(), nullptr);
        for (std::size_t i = 0; i < slot.versions.size(); ++i) {
            std::int64_t chosenDistance = 0;
            for (std::size_t n = 0; n < slot.names.size(); ++n) {
                const std::int64_t d = Distance(slot.names[n], slot.versions[i]);
                if (d != nearest[n]) continue;  // the name is nearer to another file
                if (chosen[i] == nullptr || d < chosenDistance ||
                    (d == chosenDistance &&
                     IsLaterSequence(LatestSequence(slot.names[n]), LatestSequence(*chosen[i])))) {
                    chosen[i] = &slot.names[n];
                    chosenDistance = d;
                }
            }
        }
        for (std::size_t i = 0; i < slot.versions.size(); ++i) {
            ExtFileNode& node = *slot.versions[i].node;
            node.checked = false;
            if (chosen[i] != nullptr) {
                node.name = ExtDisplayableName(chosen[i]->name);
                node.typeText = ExtTypeText(node.name);
            } else {
                node.name = Format("inode_%08X.tmp", node.inodeNumber);
                node.typeText.clear();
            }
        }
        for (auto& version : slot.versions) results_.push_back(std::move(version.node));
    }
    slots_.Clear();
    liveTables_.clear();
}

Result<std::vector<std::byte>> CExt3Volume::ReadFileMetadata(const ExtFileNode& node, std::uint64_t block) {
    // Indirect and extent blocks are journalled metadata: take the copy the inode's transaction (or an
    // earlier one) left, since deletion may have cleared the live block since.
    if (node.journalSequence) {
        auto copies = journalCopies_.find(block);
        if (copies != journalCopies_.end()) {
            const JournalCopy* best = nullptr;
            for (const JournalCopy& c : copies->second) {
                if (IsLaterSequence(c.sequence, *node.journalSequence)) continue;
                if (!best || IsLaterSequence(c.sequence, best->sequence)) best = &c;
            }
            if (best) {
                auto bytes = ReadJournalBlock(best->journalBlock);
                if (bytes && best->escaped) {
                    for (std::size_t i = 0; i < 4; ++i) {
                        (*bytes)[i] = std::byte{static_cast<std::uint8_t>(kJournalMagic >> (24 - 8 * i))};
                    }
                }
                if (bytes) return bytes;
            }
        }
    }
    return ReadBlock(block);
}

}  // namespace lumacore
