#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "core/result.h"

namespace lumacore {

// The layout decoders refuse bytes in two ways, both with the byte offset (within the decoded span) of
// the field at fault. Error::Corrupt: the structure is there but a field it cannot be read without is
// impossible, or the bytes end before the structure does (the offset is then where they end).
// NotThisLayout, below: the magic or name that identifies the structure is missing, so the bytes are
// something else and a caller may try another decoder. Scans meet millions of these (every aligned
// sector of a disk is tried for a superblock), so their texts stay short enough for std::string to keep
// them without an allocation.
inline Error NotThisLayout(std::string what, std::size_t at) {
    return Error{ErrorKind::Unsupported, std::move(what), at, 0};
}

}  // namespace lumacore
