#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_writer.h"
#include "core/result.h"
#include "core/size_text.h"
#include "session/tree_path.h"

namespace lumacore {

// What the scans whose folder items own their file nodes (FAT, exFAT) share: listing, ticking and
// finding files by the '/'-separated paths the listing shows. A node has `displayName`, `size` and
// `checked`.

struct NodeTreeTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

template <typename Tree>
NodeTreeTotals CountNodeTreeFiles(const Tree& tree, typename Tree::ItemId root) {
    NodeTreeTotals totals;
    if (root == Tree::kNoItem) return totals;
    tree.BreadthFirst(root, [&](typename Tree::ItemId id) {
        for (const auto& node : tree.item(id).data) {
            ++totals.files;
            totals.bytes += node->size;
        }
        return true;
    });
    return totals;
}

// Deleted folders (and the folders of orphan entries) carry the deleted-folder image.
template <typename Item>
bool IsDeletedFolderItem(const Item& item) {
    return item.image == 3;
}

// The folder as indented text: its files (one line each from `fileRow`), then its folders.
template <typename Tree, typename FileRow>
void AppendNodeTreeText(const Tree& tree, typename Tree::ItemId id, int depth, std::string& out,
                        const FileRow& fileRow) {
    const auto& item = tree.item(id);
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (depth == 0) {
        out += item.text + "\n";
    } else {
        out += indent + item.text + "/" + (IsDeletedFolderItem(item) ? " (deleted)" : "") + "\n";
    }
    for (const auto& node : item.data) out += indent + "  " + fileRow(*node) + "\n";
    for (auto child : item.children) AppendNodeTreeText(tree, child, depth + 1, out, fileRow);
}

// The folder as a JSON object: name, deleted, folders, and files (each file's fields from `fileFields`).
template <typename Tree, typename FileFields>
void WriteNodeTreeJson(const Tree& tree, typename Tree::ItemId id, JsonWriter& json, std::string_view key,
                       const FileFields& fileFields) {
    const auto& item = tree.item(id);
    json.BeginObject(key);
    json.String("name", item.text);
    json.Bool("deleted", IsDeletedFolderItem(item));
    json.BeginArray("folders");
    for (auto child : item.children) WriteNodeTreeJson(tree, child, json, {}, fileFields);
    json.EndArray();
    json.BeginArray("files");
    for (const auto& node : item.data) {
        json.BeginObject();
        fileFields(*node, json);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

// The whole listing as text: the tree from the root, then the totals line of the scan's mode.
template <typename Tree, typename FileRow>
std::string NodeTreeListingText(const Tree& tree, typename Tree::ItemId root, bool formatted,
                                const FileRow& fileRow) {
    std::string out;
    if (root != Tree::kNoItem) AppendNodeTreeText(tree, root, 0, out, fileRow);
    const NodeTreeTotals totals = CountNodeTreeFiles(tree, root);
    out += (formatted ? "Found Formated Files : " : "Found Deleted Files : ") + std::to_string(totals.files) +
           " (" + TotalsText(totals.files, totals.bytes) + ")\n";
    return out;
}

// The whole listing as JSON: {"root", "foundFiles", "foundBytes", "completed"}.
template <typename Tree, typename FileFields>
std::string NodeTreeListingJson(const Tree& tree, typename Tree::ItemId root, bool completed,
                                const FileFields& fileFields) {
    JsonWriter json;
    json.BeginObject();
    if (root != Tree::kNoItem) WriteNodeTreeJson(tree, root, json, "root", fileFields);
    const NodeTreeTotals totals = CountNodeTreeFiles(tree, root);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", completed);
    json.EndObject();
    return json.text();
}

// Ticks every folder and file below `from`.
template <typename Tree>
void CheckNodeTreeBelow(Tree& tree, typename Tree::ItemId from) {
    if (from == Tree::kNoItem) return;
    tree.BreadthFirst(from, [&](typename Tree::ItemId id) {
        auto& item = tree.item(id);
        item.checked = true;
        for (auto& node : item.data) node->checked = true;
        return true;
    });
}

// Ticks the file or folder (with everything below it) at `path` below `root`, and the folders above
// it; an error when no such file or folder was found.
template <typename Tree>
Result<void> CheckNodeTreePath(Tree& tree, typename Tree::ItemId root, const std::string& path) {
    using ItemId = typename Tree::ItemId;
    auto notFound = [&] {
        return Error::Make(ErrorKind::NotFound, "no file or folder '" + path + "' was found");
    };
    if (root == Tree::kNoItem) return notFound();
    const std::vector<std::string> parts = SplitTreePath(path);
    ItemId at = root;
    std::vector<ItemId> chain{at};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto& item = tree.item(at);
        ItemId next = Tree::kNoItem;
        for (ItemId child : item.children) {
            if (tree.item(child).text == parts[i]) next = child;
        }
        if (next == Tree::kNoItem && i + 1 == parts.size()) {
            for (const auto& node : item.data) {
                if (node->displayName != parts[i]) continue;
                node->checked = true;
                for (ItemId up : chain) tree.item(up).checked = true;
                return {};
            }
        }
        if (next == Tree::kNoItem) return notFound();
        at = next;
        chain.push_back(at);
    }
    for (ItemId up : chain) tree.item(up).checked = true;
    CheckNodeTreeBelow(tree, at);
    return {};
}

// The file at `path` below `root`; NotFound when there is none.
template <typename Node, typename Tree>
Result<const Node*> FindNodeTreeFile(const Tree& tree, typename Tree::ItemId root, const std::string& path) {
    const auto notFound = [&] {
        return Error::Make(ErrorKind::NotFound, "no file '" + path + "' was found");
    };
    const std::vector<std::string> names = SplitTreePath(path);
    if (root == Tree::kNoItem || names.empty()) return notFound();
    const auto folder = FolderAtPath(tree, root, std::span(names).first(names.size() - 1));
    if (folder == Tree::kNoItem) return notFound();
    for (const auto& node : tree.item(folder).data) {
        if (node->displayName == names.back()) return static_cast<const Node*>(node.get());
    }
    return notFound();
}

}  // namespace lumacore
