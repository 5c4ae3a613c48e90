#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/byte_source.h"
#include "core/progress.h"
#include "engines/exfat/exfat_directory_tail.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/exfat/exfat_layout.h"

namespace lumacore {

// Directory clusters found by their content (after a format, or left behind by deleted folders that no
// entry leads to any more), rebuilt into folders. exFAT directories have no "." and ".." entries, so
// the only links are the folder entries that name a directory's first cluster: a found directory named
// by a folder entry of another found directory goes below it with that name; one that nobody names
// starts a folder of its own under the "lost" item, called "DIR%d" — except the old root directory,
// known by its allocation bitmap entry, whose files go straight under the root item.
class ExfatFoundDirectories {
  public:
    using FileSink = std::function<void(ExfatResultTree::ItemId folder, const ExfatEntrySet& set)>;

    ExfatFoundDirectories(const ExfatLayout& layout, ByteSource& disk) : layout_(layout), disk_(disk) {}

    // Candidates are added in ascending cluster order.
    void AddCandidate(std::uint32_t cluster) { candidates_.push_back(cluster); }
    std::size_t candidateCount() const { return candidates_.size(); }

    // Reads the candidates, splits them into directories, inserts their folder items and hands every
    // file to `file`. The progress counts directories. False when a read failed.
    bool Build(ExfatResultTree& tree, ExfatResultTree::ItemId rootItem, ExfatResultTree::ItemId lostItem,
               ProgressFields& progress, const StopToken& stop, const FileSink& file);

  private:
    struct FoundSet {
        std::uint32_t cluster = 0;  // where the set's file entry lies
        ExfatEntrySet set;
    };
    struct Directory {
        std::uint32_t start = 0;
        bool isOldRoot = false;
        std::size_t parent = SIZE_MAX;  // index of the directory whose folder entry names this one
        std::u16string name;
        ExfatResultTree::ItemId item = ExfatResultTree::kNoItem;
        std::vector<FoundSet> sets;
    };

    // A stretch of consecutive candidates, read at once so that sets crossing a cluster edge come out
    // whole; its first entries and how it ends tell whether the next stretch continues it.
    struct CandidateRun {
        std::uint32_t first = 0;
        std::vector<std::byte> head;
        DirectoryTail tail;
        bool continuesPrevious = false;
    };

    bool ReadCandidates(std::vector<CandidateRun>& runs, std::vector<FoundSet>& sets,
                        std::vector<std::uint32_t>& rootMarks, const StopToken& stop);

    const ExfatLayout& layout_;
    ByteSource& disk_;
    std::vector<std::uint32_t> candidates_;
};

}  // namespace lumacore
