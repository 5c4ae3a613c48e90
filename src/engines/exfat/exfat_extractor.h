#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <tuple>
#include <vector>

#include "core/byte_source.h"
#include "core/partition_info.h"
#include "engines/exfat/exfat_file_node.h"
#include "engines/exfat/exfat_layout.h"

namespace lumacore {

// Reads the data of found exFAT files. A file with the no-FAT-chain flag lies in consecutive clusters
// and comes back exactly; any other found file is read from its first cluster on, skipping clusters
// the bitmap marks in use (unless its FAT chain is still whole). Bytes past the valid data length were
// never written and come back as zeros.
class ExfatExtractor {
  public:
    static Result<ExfatExtractor> Open(std::unique_ptr<ByteSource> disk, const PartitionInfo& partition);

    const ExfatLayout& layout() const { return layout_; }

    // The clusters the file's data is read from, in order.
    std::vector<ExfatClusterRun> DataRuns(const ExfatFileNode& node) const;

    // Reads up to out.size() bytes of the file from `offset`, never past its size. Bytes that lie
    // outside the volume or cannot be read come back as zeros and make the result an error after the
    // whole range was tried.
    Result<std::size_t> Read(const ExfatFileNode& node, std::uint64_t offset, std::span<std::byte> out);

    // Hands the whole file to `sink` in large blocks, in order; refuses a file larger than the volume.
    Result<void> Copy(const ExfatFileNode& node,
                      const std::function<Result<void>(std::span<const std::byte>)>& sink);

  private:
    ExfatExtractor(std::unique_ptr<ByteSource> disk, ExfatLayout layout)
        : disk_(std::move(disk)), layout_(std::move(layout)) {}

    std::unique_ptr<ByteSource> disk_;
    ExfatLayout layout_;
    // The runs of the file read last: a copy reads one file block after block. The key guards against
    // another node that comes to live at the same address.
    const ExfatFileNode* runsOf_ = nullptr;
    std::tuple<std::uint32_t, std::uint64_t, bool> runsKey_{};
    std::vector<ExfatClusterRun> runs_;
};

}  // namespace lumacore
