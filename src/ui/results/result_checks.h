#pragma once

#include <unordered_set>

#include "core/filter_settings.h"
#include "ui/results/result_family.h"

namespace lumacore::ui {

// The check-box rules of the result views, kept in one place so that the tree, the list and the records
// never disagree. A folder is ticked exactly when one of its own records or one of its sub-folders is
// ticked (or the user ticked it); ticking a folder ticks everything below it.

// The tree's own check box: the folder, every folder below it and all their records take `checked`;
// the folders above follow. Flat families tick the root and its files alike.
void CheckFolder(ResultFamily& family, FolderId folder, bool checked);

// A list row's check box: the record takes `checked`; its folder and the folders above follow.
void CheckFile(ResultFamily& family, FileId file, FolderId shownFolder, bool checked);

// Re-derives the ticks of `folder` and of the folders above it from what lies below them.
void RefreshUpwards(ResultFamily& family, FolderId folder);

// The ticked records below the root, and the records of a folder (with the folders below it unless
// `ownOnly`).
FileTotals CheckedTotals(const ResultFamily& family);
// With `filter`, only the records that pass it count (the page's filter check box is on).
FileTotals FolderTotals(const ResultFamily& family, FolderId folder, bool ownOnly,
                        const FilterSettings* filter = nullptr);

// The ticked folders with something unticked below them: their box shows a partial tick.
std::unordered_set<FolderId> PartlyCheckedFolders(const ResultFamily& family);

}  // namespace lumacore::ui
