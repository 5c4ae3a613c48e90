#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/byte_source.h"
#include "core/partition_info.h"
#include "core/progress.h"
#include "engines/raw/raw_file_node.h"
#include "engines/raw/signature_entry.h"

namespace lumacore {

// The signature (RAW) engine: reads a sector range of a partition, gap or whole disk, matches the start
// of every sector against the enabled signatures, and hands each candidate to its type's format parser.
// A rejected candidate is passed over; a file whose parser finds its end is cut there (and headers
// inside it are its own content); any other runs from its header to the next header, the size limit
// or the end of the range.
class CRawCarver {
  public:
    static constexpr std::uint32_t kSectorSize = 512;
    static constexpr std::uint32_t kChunkSectors = 4000;
    static constexpr std::uint32_t kTailStepSectors = 8;
    static constexpr std::uint32_t kDefaultSizeLimitKb = 512000;
    // A found file's length is shown and totalled as a 32-bit byte count, so no file may reach 4 GiB.
    static constexpr std::uint32_t kMaxSizeLimitKb = 4194303;
    // Copies and previews read this much at a time instead of one sector per call.
    static constexpr std::size_t kCopyBlockBytes = std::size_t{1} << 20;

    // `disk` is the whole physical drive; the partition record gives the first sector and the letter.
    CRawCarver(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    // The scan range in sectors relative to the partition: [first, last).
    void SetRange(std::uint64_t firstSector, std::uint64_t lastSector);
    // 0 keeps the current limit (512000 KB at first); larger values are held to kMaxSizeLimitKb.
    void SetSizeLimit(std::uint32_t kilobytes);
    void SetSignatures(RawTypeSelection* list) { signatures_ = list; }
    // Reads the next chunk on a second thread while the current one is matched (on by default).
    void SetReadAhead(bool on) { readAhead_ = on; }
    // Off: no type's format parser is asked, and every file runs from its header to the next header
    // or the size limit, as types without a parser always do (on by default).
    void SetFormatParsing(bool on) { parseFormats_ = on; }

    std::uint64_t rangeFirst() const { return rangeFirst_; }
    std::uint64_t rangeLast() const { return rangeLast_; }
    std::uint32_t sizeLimit() const { return sizeLimitKb_; }

    // Carves the range. 0 when it ran (to the end or until stopped), -1 when there is no signature
    // list, it is still empty after loading, or no entry is enabled. Progress: text "Found Raw Files :
    // %d", total and done in chunks.
    int Scan(ProgressFields& progress, const StopToken& stop);

    // Builds the result tree (the root and one child per description) and returns the root.
    RawResultTree::ItemId BuildTree(RawResultTree& tree) const;

    const std::vector<std::unique_ptr<RawFileNode>>& found() const { return found_; }
    std::vector<std::unique_ptr<RawFileNode>>& found() { return found_; }

    // Adds the selected files named by `item` and everything below it to the selection, in tree order,
    // each once. The selection is never emptied.
    void BuildSelection(const RawResultTree& tree, RawResultTree::ItemId item);
    const std::vector<RawFileNode*>& selection() const { return selection_; }
    // Empties the selection, so that a new recovery takes only what is selected now.
    void ClearSelection() {
        selection_.clear();
        inSelection_.clear();
    }

    // The file's bytes for a preview (at most `maxBytes`). 0, -1 for a null node or zero length, or the
    // error number of a failed read. A read that ends early gives the bytes there were.
    int ReadCarvedFile(const RawFileNode* node, std::vector<std::byte>& out,
                       std::uint64_t maxBytes = UINT64_MAX) const;
    // Hands the file's bytes to `sink` in order. 0, -1 for a null node, zero length or no sink, or an
    // error number: that of a failed read, EIO when the device ends before the file does, or the
    // sink's. The sink has whatever was read before the failure.
    using Sink = std::function<Result<void>(std::span<const std::byte>)>;
    int WriteCarvedFile(const RawFileNode* node, const Sink& sink) const;

    std::uint64_t partitionOffset() const { return partitionOffset_; }
    char driveLetter() const { return driveLetter_; }

  private:
    RawFileNode& Report(std::uint64_t start, std::uint64_t length, const SignatureEntry& signature,
                        RawFileEnd ended, std::string_view extension = {});
    const SignatureEntry* FindEntryByExtension(std::string_view extension) const;

    std::vector<std::unique_ptr<RawFileNode>> found_;
    std::vector<RawFileNode*> selection_;
    std::unordered_set<const RawFileNode*> inSelection_;
    std::unique_ptr<ByteSource> disk_;
    std::uint64_t partitionOffset_ = 0;
    char driveLetter_ = PartitionInfo::kNoLetter;
    std::uint64_t rangeFirst_ = 0;
    std::uint64_t rangeLast_ = 0;
    std::uint32_t sizeLimitKb_ = kDefaultSizeLimitKb;
    RawTypeSelection* signatures_ = nullptr;
    bool readAhead_ = true;
    bool parseFormats_ = true;
};

// The root's text: "RAW - Logical Disk (%c:)".
std::string RawRootText(char driveLetter);

}  // namespace lumacore
