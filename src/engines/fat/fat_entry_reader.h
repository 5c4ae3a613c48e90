#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "engines/fat/fat_directory_entry.h"
#include "engines/fat/fat_file_node.h"

namespace lumacore {

// Walks the entries of a directory buffer the way both FAT scans do: free entries and volume labels
// clear the gathered long name, long-name pieces gather, other entries are tested for plausibility and
// handed on as folders (with their display name) or files. The long name lives across calls, so a
// folder read cluster by cluster keeps a name that spans two clusters.
class FatEntryReader {
public:
    using FolderSink = std::function<void(const FatDirEntry&, const std::string& name)>;
    using FileSink = std::function<void(const FatDirEntry&)>;

    FatEntryReader(const FatGeometry& geometry, int currentYear) : geometry_(geometry), currentYear_(currentYear) {}

    void Read(std::span<const std::byte> buffer, std::size_t firstEntry, const std::function<bool()>& keepGoing,
              const FolderSink& folder, const FileSink& file);
    void ClearLongName() { longName_.Clear(); }

    // A found file as the result lists show it: the long name whole when there is one, else "name.ext".
    std::unique_ptr<FatFileNode> MakeNode(const FatDirEntry& entry) const;

private:
    const FatGeometry& geometry_;
    const int currentYear_;
    LongNameAccumulator longName_;
};

}  // namespace lumacore
