#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/device.h"

namespace lumacore {

// Opens a disk the way the user named it: an E01 image (by its signature) through libewf, the first
// piece of a split raw image ("x.001" with an "x.002" beside it) as the whole set, anything else (raw
// images, block devices) as it is. E01 and split images are read-only whatever `mode` asks.
Result<std::unique_ptr<BlockDevice>> OpenImage(const std::string& path, AccessMode mode);

// Every file that holds part of the disk named by `path`: the segments of a split image, the one file
// otherwise (E01 segment files past the first are found by libewf and are not listed).
std::vector<std::string> ImageFiles(const std::string& path);

// Whether `path` is read through something other than its own bytes (an E01 or split image).
bool IsContainerImage(const std::string& path);

}  // namespace lumacore
