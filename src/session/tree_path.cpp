#include "session/tree_path.h"

#include <algorithm>

namespace lumacore {

std::vector<std::string> SplitTreePath(const std::string& path) {
    std::vector<std::string> parts;
    for (std::size_t from = 0; from <= path.size();) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        if (slash > from) parts.push_back(path.substr(from, slash - from));
        from = slash + 1;
    }
    return parts;
}

}  // namespace lumacore
