#include "engines/raw/raw_carver.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "core/size_text.h"
#include "engines/raw/carve_input.h"
#include "engines/raw/format_verdict.h"
#include "engines/raw/raw_block_reader.h"
#include "engines/raw/signature_matcher.h"

namespace lumacore {

namespace {

int ErrorNumber(const Error& error) {
    return error.systemCode != 0 ? error.systemCode : EIO;
}

}  // namespace

std::string_view RawFileEndText(RawFileEnd end) {
    switch (end) {
        case RawFileEnd::kParsed:
            return "parsed";
        case RawFileEnd::kNextHeader:
            return "next-header";
        case RawFileEnd::kSizeLimit:
            return "size-limit";
        case RawFileEnd::kRangeEnd:
            return "range-end";
        case RawFileEnd::kPartial:
            return "partial";
    }
    return "next-header";
}

std::vector<RawExtent> RawFileExtents(const RawFileNode& node) {
    if (!node.fragments.empty()) return node.fragments;
    return {{node.firstSector, node.length}};
}

std::string RawRootText(char driveLetter) {
    return Format("RAW - Logical Disk (%c:)", driveLetter);
}

CRawCarver::CRawCarver(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition)
    : disk_(std::move(disk)),
      partitionOffset_(std::uint64_t{partition.startSector} * kSectorSize),
      driveLetter_(partition.driveLetter != 0 ? partition.driveLetter : PartitionInfo::kNoLetter) {
    rangeLast_ = partition.totalBytes / kSectorSize;
}

void CRawCarver::SetRange(std::uint64_t firstSector, std::uint64_t lastSector) {
    rangeFirst_ = firstSector;
    rangeLast_ = lastSector;
}

void CRawCarver::SetSizeLimit(std::uint32_t kilobytes) {
    if (kilobytes != 0) sizeLimitKb_ = std::min(kilobytes, kMaxSizeLimitKb);
}

RawFileNode& CRawCarver::Report(std::uint64_t start, std::uint64_t length, const SignatureEntry& signature,
                                RawFileEnd ended, std::string_view extension) {
    auto node = std::make_unique<RawFileNode>();
    node->extension = signature.extension;
    node->description = signature.description;
    if (!extension.empty() && extension != signature.extension) {
        node->extension = std::string(extension);
        // The precise type's own description when the catalogue has one, so that a .docx found by
        // the ZIP header is listed with the Word documents.
        if (const SignatureEntry* named = FindEntryByExtension(extension))
            node->description = named->description;
    }
    node->name = "File" + std::to_string(found_.size()) + "." + node->extension;
    node->firstSector = start / kSectorSize;
    node->length = length;
    node->ended = ended;
    found_.push_back(std::move(node));
    return *found_.back();
}

const SignatureEntry* CRawCarver::FindEntryByExtension(std::string_view extension) const {
    for (const SignatureEntry& entry : signatures_->entries()) {
        if (entry.extension == extension) return &entry;
    }
    return nullptr;
}

int CRawCarver::Scan(ProgressFields& progress, const StopToken& stop) {
    if (signatures_ == nullptr) return -1;
    signatures_->EnsureLoaded();
    if (signatures_->entries().empty() || !signatures_->AnyEnabled()) return -1;
    const std::vector<SignatureEntry>& entries = signatures_->entries();
    const SignatureMatcher matcher(entries);
    std::vector<FormatParser> parsers(entries.size());
    for (std::size_t i = 0; i < entries.size() && parseFormats_; ++i) {
        parsers[i] = FindFormatParser(entries[i].extension);
    }

    // Byte positions relative to the partition. The range never runs past the device: sectors that
    // are not there would otherwise end up inside the last file.
    const std::uint64_t deviceBytes = disk_->Size() > partitionOffset_ ? disk_->Size() - partitionOffset_ : 0;
    const std::uint64_t deviceSectors = deviceBytes / kSectorSize;
    const std::uint64_t start = std::min(rangeFirst_, deviceSectors) * kSectorSize;
    const std::uint64_t end = std::max(start, std::min(rangeLast_, deviceSectors) * kSectorSize);
    const std::uint64_t chunkBytes = std::uint64_t{kChunkSectors} * kSectorSize;
    const std::uint64_t limitBytes = std::uint64_t{sizeLimitKb_} * 1024;

    progress.SetText("Found Raw Files : " + std::to_string(found_.size()));
    progress.SetTotal(static_cast<std::int64_t>((end - start + chunkBytes - 1) / chunkBytes));
    progress.SetDone(0);

    // The open file, whose end no parser told. Its start is kept apart from "is a file open": a header
    // at the range's byte 0 starts a file like any other.
    bool open = false;
    std::uint64_t openStart = 0;
    int openSignature = -1;
    std::string_view openExtension;
    // A file its parser ended covers the sectors up to here; headers inside it are its own content.
    std::uint64_t coveredUntil = start;
    // Second pieces of files in two pieces, further on: [from, to), in order of their start. The gap
    // before each is scanned like any other sectors.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> coveredLater;
    auto closeOpen = [&](std::uint64_t position, RawFileEnd why) {
        Report(openStart, position - openStart, entries[static_cast<std::size_t>(openSignature)], why,
               openExtension);
        open = false;
    };
    auto step = [&](std::uint64_t position, int match) {
        FormatVerdict verdict = FormatVerdict::Unknown();
        if (match >= 0) {
            if (const FormatParser parse = parsers[static_cast<std::size_t>(match)]) {
                CarveInput input(*disk_, partitionOffset_ + position, std::min(limitBytes, end - position));
                verdict = parse(input);
                if (verdict.kind == FormatVerdict::Kind::kReject) match = -1;
            }
        }
        if (match < 0) {
            if (open && (position - openStart) / 1024 >= sizeLimitKb_)
                closeOpen(position, RawFileEnd::kSizeLimit);
            return;
        }
        if (open) closeOpen(position, RawFileEnd::kNextHeader);
        const SignatureEntry& signature = entries[static_cast<std::size_t>(match)];
        if (verdict.kind == FormatVerdict::Kind::kUnknown) {
            open = true;
            openStart = position;
            openSignature = match;
            // A type told apart inside the file keeps its name even when its end is not known.
            openExtension = verdict.extension;
            return;
        }
        std::uint64_t length = verdict.length;
        RawFileEnd ended =
            verdict.kind == FormatVerdict::Kind::kPartial ? RawFileEnd::kPartial : RawFileEnd::kParsed;
        if (length > limitBytes) {
            length = limitBytes;
            ended = RawFileEnd::kSizeLimit;
        }
        if (length > end - position) {
            length = end - position;
            ended = RawFileEnd::kRangeEnd;
        }
        if (length == 0) length = std::min<std::uint64_t>(kSectorSize, end - position);
        const bool twoPieces = verdict.twoPieces() && ended == RawFileEnd::kParsed &&
                               verdict.firstEnd % kSectorSize == 0 && verdict.resumeAt % kSectorSize == 0 &&
                               verdict.firstEnd > 0 && verdict.resumeAt < length;
        if (!twoPieces) {
            Report(position, length, signature, ended, verdict.extension);
            coveredUntil = position + (length + kSectorSize - 1) / kSectorSize * kSectorSize;
            return;
        }
        const std::uint64_t secondLength = length - verdict.resumeAt;
        RawFileNode& node =
            Report(position, verdict.firstEnd + secondLength, signature, ended, verdict.extension);
        node.fragments = {{position / kSectorSize, verdict.firstEnd},
                          {(position + verdict.resumeAt) / kSectorSize, secondLength}};
        coveredUntil = position + verdict.firstEnd;
        const std::pair<std::uint64_t, std::uint64_t> second{
            position + verdict.resumeAt, position + (length + kSectorSize - 1) / kSectorSize * kSectorSize};
        coveredLater.insert(std::upper_bound(coveredLater.begin(), coveredLater.end(), second), second);
    };
    // Whether the sector at `position` lies in a second piece; a file open there ends where it starts.
    auto inSecondPiece = [&](std::uint64_t position) {
        while (!coveredLater.empty() && coveredLater.front().second <= position)
            coveredLater.erase(coveredLater.begin());
        if (coveredLater.empty() || position < coveredLater.front().first) return false;
        if (open) closeOpen(position, RawFileEnd::kNextHeader);
        return true;
    };

    RawBlockReader reader(*disk_, partitionOffset_, start, end, static_cast<std::size_t>(chunkBytes),
                          std::size_t{kTailStepSectors} * kSectorSize, matcher.lookahead(), readAhead_);
    const std::size_t window = kSectorSize + matcher.lookahead();
    std::uint64_t reached = start;
    while (!stop.StopRequested()) {
        const RawReadBlock* block = reader.Next();
        if (block == nullptr) break;
        const std::byte* bytes = block->bytes.data();
        // Sectors the read did not deliver (a failed or short read) carry no header, but still count
        // towards the open file's size limit.
        const std::size_t readable = std::min(block->valid, block->size) / kSectorSize * kSectorSize;
        std::size_t at = 0;
        if (coveredUntil > block->pos) {
            at = static_cast<std::size_t>(std::min<std::uint64_t>(coveredUntil - block->pos, block->size));
        }
        for (; at < block->size; at += kSectorSize) {
            if (block->pos + at < coveredUntil) continue;
            if (!coveredLater.empty() && inSecondPiece(block->pos + at)) continue;
            int match = -1;
            if (at < readable) {
                match = matcher.Match(
                    std::span<const std::byte>(bytes + at, std::min(window, block->valid - at)));
            }
            step(block->pos + at, match);
        }
        reached = block->pos + block->size;
        progress.SetDone(static_cast<std::int64_t>((reached - start) / chunkBytes));
        progress.SetText("Found Raw Files : " + std::to_string(found_.size()));
    }
    // The file still open where the scan ended runs to there, and no further than the size limit.
    if (open) {
        const std::uint64_t length = reached - openStart;
        Report(openStart, std::min(length, limitBytes), entries[static_cast<std::size_t>(openSignature)],
               length > limitBytes ? RawFileEnd::kSizeLimit : RawFileEnd::kRangeEnd, openExtension);
    }
    progress.SetDone(progress.Total());
    progress.SetText("Found Raw Files : " + std::to_string(found_.size()));
    return 0;
}

RawResultTree::ItemId CRawCarver::BuildTree(RawResultTree& tree) const {
    const RawResultTree::ItemId root = tree.InsertLast(RawResultTree::kNoItem, RawRootText(driveLetter_));
    tree.SetImages(root, 0, 0);
    // A file joins the first kind whose text contains its description. Kinds are only ever appended,
    // so the answer for a description never changes once found: remember it.
    std::map<std::string, RawResultTree::ItemId> kindOf;
    for (std::size_t i = 0; i < found_.size(); ++i) {
        const std::string& description = found_[i]->description;
        auto known = kindOf.find(description);
        if (known == kindOf.end()) {
            RawResultTree::ItemId kind = RawResultTree::kNoItem;
            for (RawResultTree::ItemId child : tree.item(root).children) {
                if (tree.item(child).text.find(description) != std::string::npos) {
                    kind = child;
                    break;
                }
            }
            if (kind == RawResultTree::kNoItem) {
                kind = tree.InsertLast(root, description);
                tree.SetImages(kind, 1, 2);
            }
            known = kindOf.emplace(description, kind).first;
        }
        tree.item(known->second).data.push_back(static_cast<std::uint32_t>(i));
    }
    tree.Select(root);
    tree.Expand(root);
    return root;
}

void CRawCarver::BuildSelection(const RawResultTree& tree, RawResultTree::ItemId item) {
    if (!tree.valid(item)) return;
    std::vector<RawResultTree::ItemId> pending{item};
    while (!pending.empty()) {
        const RawResultTree::ItemId id = pending.back();
        pending.pop_back();
        for (const std::uint32_t index : tree.item(id).data) {
            if (index >= found_.size() || !found_[index]->selected) continue;
            RawFileNode* node = found_[index].get();
            if (inSelection_.insert(node).second) selection_.push_back(node);
        }
        const auto& children = tree.item(id).children;
        for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(*child);
    }
}

int CRawCarver::ReadCarvedFile(const RawFileNode* node, std::vector<std::byte>& out,
                               std::uint64_t maxBytes) const {
    if (node == nullptr || node->length == 0) return -1;
    const std::uint64_t wanted = std::min(node->length, maxBytes);
    out.assign(static_cast<std::size_t>(wanted), std::byte{0});
    std::size_t done = 0;
    for (const RawExtent& extent : RawFileExtents(*node)) {
        if (done >= out.size()) break;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(extent.length, out.size() - done));
        auto read = disk_->ReadAt(partitionOffset_ + extent.firstSector * kSectorSize,
                                  std::span<std::byte>(out).subspan(done, piece));
        if (!read) {
            // What the earlier pieces gave stays, as a short read's bytes do.
            out.resize(done);
            return done > 0 ? 0 : ErrorNumber(read.error());
        }
        done += *read;
        if (*read < piece) break;
    }
    out.resize(done);
    return 0;
}

int CRawCarver::WriteCarvedFile(const RawFileNode* node, const Sink& sink) const {
    if (node == nullptr || node->length == 0 || !sink) return -1;
    AlignedBuffer buffer;
    buffer.Reserve(static_cast<std::size_t>(std::min<std::uint64_t>(node->length, kCopyBlockBytes)));
    for (const RawExtent& extent : RawFileExtents(*node)) {
        const std::uint64_t from = partitionOffset_ + extent.firstSector * kSectorSize;
        for (std::uint64_t done = 0; done < extent.length;) {
            const auto piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), extent.length - done));
            auto read = disk_->ReadAt(from + done, std::span<std::byte>(buffer.data(), piece));
            if (!read) return ErrorNumber(read.error());
            if (*read > 0) {
                if (auto written = sink(std::span<const std::byte>(buffer.data(), *read)); !written) {
                    return ErrorNumber(written.error());
                }
            }
            // The device ended before the file did: the copy stops here instead of waiting for bytes.
            if (*read < piece) return EIO;
            done += piece;
        }
    }
    return 0;
}

}  // namespace lumacore
