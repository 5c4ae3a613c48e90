#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <unordered_map>

#include "core/progress.h"
#include "core/result.h"
#include "core/result_tree.h"
#include "recovery/output_file.h"
#include "recovery/recover_run_result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// Copies one file's data into the output file (reads the clusters from the source).
template <typename Node>
using TreeCopyData = std::function<Result<void>(const Node&, OutputFile&)>;

// What a file carries besides its data (times, where it lay), for the writer.
template <typename Node>
using TreeFileDetails = std::function<FoundFileDetails(const Node&)>;

// A folder item's own times, for the folder made for it.
template <typename Tree>
using TreeFolderTimes = std::function<FileTimes(typename Tree::ItemId)>;

namespace tree_recover_detail {

template <typename Node>
bool WillWrite(const Node* node) {
    return node != nullptr && node->checked && !HasQuoteInFirstThree(node->displayName);
}

// The files a run from `from` would write, walking the tree the way the run does.
template <typename Node, typename Tree>
std::uint64_t CountFiles(const Tree& tree, typename Tree::ItemId from) {
    std::uint64_t count = 0;
    tree.BreadthFirst(from, [&](typename Tree::ItemId id) {
        if (!tree.valid(id) || !tree.item(id).checked) return false;
        for (const auto& node : tree.item(id).data) count += WillWrite<Node>(node.get()) ? 1 : 0;
        return true;
    });
    return count;
}

}  // namespace tree_recover_detail

// Recovers the checked files of a folder tree whose items own their file nodes (FAT, exFAT) below
// `root`, breadth first: every checked folder item becomes a folder below the writer's destination root
// (the root item's own text does not), and the checked files of each checked folder are written into
// it. An unchecked folder is skipped with everything below it, checked or not. Progress counts files:
// the total is set before the first one.
template <typename Node, typename Tree>
RecoverRunResult RunTreeRecovery(const Tree& tree, typename Tree::ItemId root, RecoveredFileWriter& writer,
                                 ProgressFields& progress, const StopToken& stop,
                                 const TreeCopyData<Node>& copyData,
                                 const TreeFileDetails<Node>& detailsOf = {},
                                 const TreeFolderTimes<Tree>& folderTimesOf = {}) {
    using ItemId = typename Tree::ItemId;
    using tree_recover_detail::CountFiles;
    using tree_recover_detail::WillWrite;
    RecoverRunResult result;
    if (!tree.valid(root) || !tree.item(root).checked) return result;

    progress.SetTotal(static_cast<std::int64_t>(CountFiles<Node>(tree, root)));
    progress.SetDone(0);
    std::uint64_t done = 0;
    const auto ended = [&] {
        if (stop.StopRequested() || writer.cancelled()) result.cancelled = true;
        return result.cancelled;
    };

    // Breadth first, a parent's folder always exists before its children ask for it.
    std::unordered_map<ItemId, std::filesystem::path> folders;
    tree.BreadthFirst(root, [&](ItemId id) {
        if (ended() || !tree.valid(id)) return false;
        const auto& item = tree.item(id);
        if (!item.checked) return false;

        std::filesystem::path folder = writer.destinationRoot();
        if (id != root) {
            const Result<std::filesystem::path> made =
                writer.EnsureFolder(folders.at(item.parent), item.text);
            if (!made) {
                // The writer has the reason; every file that would have gone below it is a failure.
                const std::uint64_t lost = CountFiles<Node>(tree, id);
                result.failures += lost;
                done += lost;
                progress.SetDone(static_cast<std::int64_t>(done));
                return false;
            }
            folder = *made;
            if (folderTimesOf) writer.SetFolderTimes(folder, folderTimesOf(id));
        }

        for (const auto& node : item.data) {
            if (ended()) break;
            if (!WillWrite<Node>(node.get())) continue;
            progress.SetText(node->displayName);
            progress.SetDone(static_cast<std::int64_t>(done));
            const auto outcome = writer.WriteFile(
                folder, node->displayName, node->size, [&](OutputFile& out) { return copyData(*node, out); },
                detailsOf ? detailsOf(*node) : FoundFileDetails{});
            result.Count(outcome, node->size);
            if (result.cancelled) break;
            ++done;
        }
        folders.emplace(id, std::move(folder));
        return true;
    });
    progress.SetDone(static_cast<std::int64_t>(done));
    return result;
}

}  // namespace lumacore
