#pragma once

#include <cstdint>

#include "core/byte_source.h"
#include "platform/file_descriptor.h"

namespace lumacore {

// libblkid probes file descriptors only. For a disk that is not a file of its own bytes (an E01 or
// split image) the probe reads a shadow: a sparse in-memory file of the disk's size holding just the
// ranges a probe looks at (copied by Copy), zeros elsewhere.
class ProbeShadow {
  public:
    // An invalid shadow when the system refuses one; probing then finds nothing.
    explicit ProbeShadow(ByteSource& source);

    bool valid() const { return fd_.valid(); }
    int descriptor() const { return fd_.get(); }

    // The partition tables: the disk's first and last megabyte (GPT keeps a backup at the end).
    void CopyTables();
    // What identifying the file system of a volume at `offset` reads: its first megabyte and, for NTFS,
    // the start of its MFT (the probe reads $Volume for the label and refuses the volume without it).
    void CopyVolumeStart(std::uint64_t offset, std::uint64_t length);

  private:
    void Copy(std::uint64_t offset, std::uint64_t length);

    ByteSource& source_;
    FileDescriptor fd_;
};

}  // namespace lumacore
