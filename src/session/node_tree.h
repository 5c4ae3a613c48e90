#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_writer.h"
#include "core/result.h"
#include "core/size_text.h"
#include "session/listing_json.h"
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

// Calls visit(node, folderPath) for every file below `root`, folder by folder as the listing shows
// them; folderPath is the tree path of the file's folder ("" for the root).
template <typename Tree, typename Visit>
void ForEachNodeTreeFile(const Tree& tree, typename Tree::ItemId id, const std::string& folderPath,
                         const Visit& visit) {
    const auto& item = tree.item(id);
    for (const auto& node : item.data) visit(*node, folderPath);
    for (auto child : item.children) {
        ForEachNodeTreeFile(tree, child, JoinTreePath(folderPath, tree.item(child).text), visit);
    }
}

// Calls visit(listedFile(node, folderPath)) for every file below `root`, in the listing's order.
template <typename Tree, typename ListedFileOf, typename Visit>
void VisitNodeTreeListedFiles(const Tree& tree, typename Tree::ItemId root, const ListedFileOf& listedFile,
                              const Visit& visit) {
    if (root == Tree::kNoItem) return;
    ForEachNodeTreeFile(tree, root, std::string(), [&](const auto& node, const std::string& folderPath) {
        visit(listedFile(node, folderPath));
    });
}

// The whole listing as JSON (session/listing_json.h): the older "root" tree with each file's older
// fields from `fileFields`, the shared "files" (`listedFile(node, folderPath)` gives a file's shared
// fields, `fileExtras` the engine's own), then "foundFiles", "foundBytes" and "completed".
template <typename Tree, typename ListedFileOf, typename FileExtras, typename FileFields>
void WriteNodeTreeListingJson(const Tree& tree, typename Tree::ItemId root, bool completed,
                              std::string_view engine, const ListedFileOf& listedFile,
                              const FileExtras& fileExtras, const FileFields& fileFields, JsonWriter& json) {
    BeginListing(json, engine);
    if (root != Tree::kNoItem) WriteNodeTreeJson(tree, root, json, "root", fileFields);
    BeginListedFiles(json);
    if (root != Tree::kNoItem) {
        ForEachNodeTreeFile(tree, root, std::string(), [&](const auto& node, const std::string& folderPath) {
            BeginListedFile(json, engine, listedFile(node, folderPath));
            fileExtras(node, json);
            json.EndObject();
        });
    }
    EndListedFiles(json);
    const NodeTreeTotals totals = CountNodeTreeFiles(tree, root);
    json.Unsigned("foundFiles", totals.files);
    json.Unsigned("foundBytes", totals.bytes);
    json.Bool("completed", completed);
    json.EndObject();
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

// Ticks every file below `root` for which `wanted(node)` holds, with the folders above it; NotFound
// when none does.
template <typename Tree, typename Wanted>
Result<void> CheckNodeTreeWhere(Tree& tree, typename Tree::ItemId root, const Wanted& wanted,
                                const std::string& what) {
    using ItemId = typename Tree::ItemId;
    bool found = false;
    if (root != Tree::kNoItem) {
        tree.BreadthFirst(root, [&](ItemId id) {
            bool here = false;
            for (auto& node : tree.item(id).data) {
                if (!wanted(*node)) continue;
                node->checked = true;
                here = true;
            }
            if (here) {
                found = true;
                for (ItemId up = id; up != Tree::kNoItem; up = tree.item(up).parent)
                    tree.item(up).checked = true;
            }
            return true;
        });
    }
    if (!found) return Error::Make(ErrorKind::NotFound, "no file with " + what + " was found");
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
