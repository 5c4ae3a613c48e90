#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/result.h"

namespace lumacore {

// The result pages' file-system families; each previews its files its own way.
enum class PreviewFamily { Fat, Ntfs, Ext, Raw };

// A found file as the preview and the thumbnails see it: its name, its size and a read of its data.
struct PreviewSource {
    std::string name;
    std::uint64_t size = 0;
    // Up to `maxBytes` of the file's data from its start (fewer when the file is shorter); an error when
    // the volume cannot be read.
    std::function<Result<std::vector<std::byte>>(std::uint64_t maxBytes)> read;
};

}  // namespace lumacore
