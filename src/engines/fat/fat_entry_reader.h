#pragma once

#include <array>
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
    // Pieces of a long name cut at the edge of a buffer: a folder's clusters that are read apart (not
    // along a chain) split the names that straddle them.
    struct NameSeam {
        bool present = false;
        std::uint8_t checksum = 0;
        std::u16string units;  // what the buffer held of the name
        // Leading only: the buffer began with the short entry itself, all its pieces lie before the cut.
        // Its checksum is then worked out from these 11 bytes (byte 0 lost when the entry is deleted).
        bool bare = false;
        std::array<std::uint8_t, 11> shortName{};
    };

    using FolderSink = std::function<void(const FatDirEntry&, const std::string& name)>;
    using FileSink = std::function<void(const FatDirEntry&)>;

    FatEntryReader(const FatGeometry& geometry, int currentYear) : geometry_(geometry), currentYear_(currentYear) {}

    void Read(std::span<const std::byte> buffer, std::size_t firstEntry, const std::function<bool()>& keepGoing,
              const FolderSink& folder, const FileSink& file);
    void ClearLongName() { longName_.Clear(); }

    // After Read: the pieces the buffer began with, before its first short entry (a name whose end
    // lies in an earlier cluster), and those it ended with (a name whose short entry lies in a later
    // cluster).
    const NameSeam& leadingSeam() const { return leading_; }
    const NameSeam& trailingSeam() const { return trailing_; }
    // The whole name of an entry whose name was cut: the pieces found before the cut plus those after.
    static std::string JoinSeam(const NameSeam& leading, const NameSeam& trailing);

    // A found file as the result lists show it: the long name whole when there is one, else "name.ext".
    std::unique_ptr<FatFileNode> MakeNode(const FatDirEntry& entry) const;

private:
    const FatGeometry& geometry_;
    const int currentYear_;
    LongNameAccumulator longName_;
    NameSeam leading_;
    NameSeam trailing_;
};

}  // namespace lumacore
