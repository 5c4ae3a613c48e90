#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/filter_settings.h"
#include "core/progress.h"
#include "engines/ntfs/ntfs_file_node.h"
#include "engines/ntfs/ntfs_mft_record.h"

namespace lumacore {

class CNtfsVolume;
struct NtfsStream;

// Where a scan's records come from: the current MFT image, or the records a sector search found
// outside it. Parent references are looked up here to rebuild folder chains.
struct NtfsRecordSource {
    // Record n, or nothing when the source does not hold it.
    std::function<std::span<const std::byte>(std::uint64_t)> record;
    // Record numbers from here on lie outside the source: a reference to one breaks the chain.
    std::uint64_t count = 0;
    // The streams of a base record with its extension records (for records with an $ATTRIBUTE_LIST).
    std::function<std::vector<std::pair<std::u16string, std::uint64_t>>(std::uint32_t number,
                                                                        std::span<const std::byte> record)>
        streamSizes;
};

struct NtfsNodeOptions {
    // The image index the nodes carry: 0 for the current MFT, 1 for records found outside it. The
    // "Lost Files%d" folder of broken chains is numbered from it.
    std::int32_t imageIndex = 0;
    // The deleted-file scan narrows by folder and name; the formatted-drive scan does not.
    bool folderAndNameFilters = true;
    // Leave out the system's own files: those below $Extend and the root's "$" names.
    bool skipSystemFiles = false;
    // A folder every node is put in, below the chain its records give (none when empty), with the
    // number its tree item carries.
    std::string topFolder;
    std::uint32_t topFolderNumber = 0;
    // Prepare also notes the folders among the records it parses (NoteFolder), for a scan whose
    // source gives no records.
    bool noteFolders = false;
    // Where the progress text (the prefix and the count) goes after each accepted node; none when null.
    ProgressFields* progress = nullptr;
    std::string progressPrefix;
};

// Turns MFT records into nodes: the chosen name, times, attributes, one node per data stream, the
// folder chain rebuilt from the parent references, the user's filter; accepted nodes go into the
// volume's NodeList and are hung into the tree below `base`.
class NtfsNodeBuilder {
  public:
    NtfsNodeBuilder(CNtfsVolume& volume, NtfsResultTree& tree, NtfsResultTree::ItemId base,
                    const FilterSettings& filter, NtfsRecordSource source, NtfsNodeOptions options);

    // A record's file, built but not yet placed: what the tree needs of it, nothing of the record.
    struct Prepared {
        std::unique_ptr<NtfsFileNode> base;  // the unnamed stream; holds the shared fields
        std::uint64_t parentReference = 0;
        // The named streams' names and sizes, or, with the record's $ATTRIBUTE_LIST, none yet: the
        // streams are then resolved when it is placed.
        std::vector<std::pair<std::u16string, std::uint64_t>> namedStreams;
        bool resolveStreams = false;
    };

    // Takes one base record. `ownRecord` is handed to the nodes when their data is not to be read
    // through the current MFT. Returns the number of nodes accepted.
    std::size_t TakeRecord(std::uint32_t number, std::span<const std::byte> bytes,
                           const std::shared_ptr<const std::vector<std::byte>>& ownRecord = {});
    // TakeRecord in two steps, for records that stream past: Prepare keeps what the node needs of the
    // record (nothing for a record that is no file); Place, once every folder the chain may lead
    // through has been noted, rebuilds the chain, filters, and hangs the nodes. Placing the prepared
    // records in record order gives what TakeRecord gives.
    std::optional<Prepared> Prepare(std::uint32_t number, std::span<const std::byte> bytes,
                                    const std::shared_ptr<const std::vector<std::byte>>& ownRecord = {});
    std::size_t Place(Prepared prepared);
    // Keeps what a chain walk needs of a record that is a folder, so that the walk does not go back
    // to the record source for it.
    void NoteFolder(std::uint64_t number, std::span<const std::byte> bytes);
    std::uint64_t accepted() const { return accepted_; }

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

    // False when the chain leads into $Extend and the system files are left out.
    bool BuildChain(std::uint64_t parentReference, NtfsFileNode& node);
    void AddBreak(std::uint64_t record, NtfsFileNode& node);
    const FolderFacts& FactsOf(std::uint64_t number);
    static FolderFacts ReadFacts(std::span<const std::byte> bytes);
    static FolderFacts FactsFrom(const CMftRecord& names);
    void KeepIfFolder(std::uint64_t number, FolderFacts facts);
    bool Accepts(const NtfsFileNode& node) const;
    void Hang(std::uint32_t index);

    CNtfsVolume& volume_;
    NtfsResultTree& tree_;
    NtfsResultTree::ItemId base_;
    const FilterSettings& filter_;
    NtfsRecordSource source_;
    NtfsNodeOptions options_;
    std::unordered_map<std::uint64_t, FolderFacts> facts_;
    std::unordered_map<std::uint64_t, int> inventedNames_;  // broken record -> its "Dir%d" number
    int inventedCounter_ = 0;
    std::unordered_map<std::string, NtfsResultTree::ItemId> folderItems_;  // parent, record, text -> item
    CMftRecord record_;
    CMftRecord names_;  // NoteFolder's parser, its buffers kept from record to record
    std::uint64_t accepted_ = 0;
};

}  // namespace lumacore
