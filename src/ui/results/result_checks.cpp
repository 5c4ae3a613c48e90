#include "ui/results/result_checks.h"

namespace lumacore::ui {

namespace {

template <typename Visit>
void ForEachFolder(const ResultFamily& family, FolderId from, Visit visit) {
    if (from == kNoFolder) return;
    std::vector<FolderId> pending{from};
    while (!pending.empty()) {
        const FolderId id = pending.back();
        pending.pop_back();
        visit(id);
        for (FolderId child : family.children(id)) pending.push_back(child);
    }
}

bool HoldsSomethingChecked(const ResultFamily& family, FolderId folder) {
    for (FileId file : family.filesOf(folder)) {
        if (family.fileChecked(file)) return true;
    }
    for (FolderId child : family.children(folder)) {
        if (family.folderChecked(child)) return true;
    }
    return false;
}

}  // namespace

void CheckFolder(ResultFamily& family, FolderId folder, bool checked) {
    if (folder == kNoFolder) return;
    // A flat family has one list: whichever of its items is clicked stands for all of it.
    const FolderId from = family.flatChecks() ? family.root() : folder;
    ForEachFolder(family, from, [&](FolderId id) {
        family.setFolderChecked(id, checked);
        for (FileId file : family.filesOf(id)) family.setFileChecked(file, checked);
    });
    const FolderId up = family.parent(from);
    if (up != kNoFolder) RefreshUpwards(family, up);
}

void CheckFile(ResultFamily& family, FileId file, FolderId shownFolder, bool checked) {
    family.setFileChecked(file, checked);
    RefreshUpwards(family, shownFolder);
}

void RefreshUpwards(ResultFamily& family, FolderId folder) {
    if (family.flatChecks()) {
        bool any = false;
        ForEachFolder(family, family.root(), [&](FolderId id) {
            for (FileId f : family.filesOf(id)) any = any || family.fileChecked(f);
        });
        ForEachFolder(family, family.root(), [&](FolderId id) { family.setFolderChecked(id, any); });
        return;
    }
    for (FolderId at = folder; at != kNoFolder; at = family.parent(at)) {
        family.setFolderChecked(at, HoldsSomethingChecked(family, at));
    }
}

FileTotals CheckedTotals(const ResultFamily& family) {
    FileTotals totals;
    ForEachFolder(family, family.root(), [&](FolderId id) {
        for (FileId file : family.filesOf(id)) {
            if (!family.fileChecked(file)) continue;
            ++totals.count;
            totals.bytes += family.fileSize(file);
        }
    });
    return totals;
}

FileTotals FolderTotals(const ResultFamily& family, FolderId folder, bool ownOnly,
                        const FilterSettings* filter) {
    FileTotals totals;
    auto add = [&](FolderId id) {
        for (FileId file : family.filesOf(id)) {
            if (filter && !PassesFilter(family.filterSubject(file), *filter)) continue;
            ++totals.count;
            totals.bytes += family.fileSize(file);
        }
    };
    if (folder == kNoFolder) return totals;
    if (ownOnly) {
        add(folder);
    } else {
        ForEachFolder(family, folder, add);
    }
    return totals;
}

std::unordered_set<FolderId> PartlyCheckedFolders(const ResultFamily& family) {
    std::unordered_set<FolderId> partly;
    if (family.root() == kNoFolder) return partly;
    // Folders in walk order, so that walking the list backwards sees every child before its parent.
    std::vector<FolderId> order;
    ForEachFolder(family, family.root(), [&](FolderId id) { order.push_back(id); });
    std::unordered_set<FolderId> whole;  // everything at and below is ticked
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const FolderId id = *it;
        bool all = true;
        for (FileId file : family.filesOf(id)) {
            if (!family.fileChecked(file)) {
                all = false;
                break;
            }
        }
        for (FolderId child : family.children(id)) all = all && whole.count(child) != 0;
        if (all) {
            whole.insert(id);
        } else if (family.folderChecked(id)) {
            partly.insert(id);
        }
    }
    return partly;
}

}  // namespace lumacore::ui
