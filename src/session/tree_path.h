#pragma once

#include <span>
#include <string>
#include <vector>

namespace lumacore {

// The names of a '/'-separated tree path ("Projects/2023/draft.txt"); empty parts are skipped.
std::vector<std::string> SplitTreePath(const std::string& path);

// The folder reached from `from` by following `names` through the children's texts (the last child of
// that text wins, as the tree lists it last); kNoItem when a name is not there.
template <typename Tree>
typename Tree::ItemId FolderAtPath(const Tree& tree, typename Tree::ItemId from,
                                   std::span<const std::string> names) {
    for (const std::string& name : names) {
        if (from == Tree::kNoItem) break;
        typename Tree::ItemId next = Tree::kNoItem;
        for (typename Tree::ItemId child : tree.item(from).children) {
            if (tree.item(child).text == name) next = child;
        }
        from = next;
    }
    return from;
}

}  // namespace lumacore
