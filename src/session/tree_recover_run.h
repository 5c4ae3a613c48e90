#include "session/fat_recover_run.h"

#include <filesystem>
#include <unordered_map>

namespace lumacore {

namespace {

bool WillWrite(const FatFileNode* node) {
    return node != nullptr && node->checked && !HasQuoteInFirstThree(node->displayName);
}

// The files a run from `from` would write, walking the tree the way the run does.
std::uint64_t CountFiles(const FatResultTree& tree, FatResultTree::ItemId from) {
    std::uint64_t count = 0;
    tree.BreadthFirst(from, [&](FatResultTree::ItemId id) {
        if (!tree.valid(id) || !tree.item(id).checked) return false;
        for (const auto& node : tree.item(id).data) count += WillWrite(node.get()) ? 1 : 0;
        return true;
    });
    return count;
}

}  // namespace

RecoverRunResult RunFatRecovery(const FatResultTree& tree, FatResultTree::ItemId root,
                                RecoveredFileWriter& writer, ProgressFields& progress, const StopToken& stop,
                                const FatCopyData& copyData) {
    RecoverRunResult result;
    if (!tree.valid(root) || !tree.item(root).checked) return result;

    progress.SetTotal(static_cast<std::int64_t>(CountFiles(tree, root)));
    progress.SetDone(0);
    std::uint64_t done = 0;
    const auto ended = [&] {
        if (stop.StopRequested() || writer.cancelled()) result.cancelled = true;
        return result.cancelled;
    };

    // Breadth first, a parent's folder always exists before its children ask for it.
    std::unordered_map<FatResultTree::ItemId, std::filesystem::path> folders;
    tree.BreadthFirst(root, [&](FatResultTree::ItemId id) {
        if (ended() || !tree.valid(id)) return false;
        const FatResultTree::Item& item = tree.item(id);
        if (!item.checked) return false;

        std::filesystem::path folder = writer.destinationRoot();
        if (id != root) {
            const Result<std::filesystem::path> made =
                writer.EnsureFolder(folders.at(item.parent), item.text);
            if (!made) {
                // The writer has the reason; every file that would have gone below it is a failure.
                const std::uint64_t lost = CountFiles(tree, id);
                result.failures += lost;
                done += lost;
                progress.SetDone(static_cast<std::int64_t>(done));
                return false;
            }
            folder = *made;
        }

        for (const auto& node : item.data) {
            if (ended()) break;
            if (!WillWrite(node.get())) continue;
            progress.SetText(node->displayName);
            progress.SetDone(static_cast<std::int64_t>(done));
            const auto outcome = writer.WriteFile(folder, node->displayName, node->size,
                                                  [&](OutputFile& out) { return copyData(*node, out); });
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
