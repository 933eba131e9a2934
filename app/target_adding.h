// Files into and out of the target list, without a window: a batch checked
// against the list (the extension filter, the duplicate rule, a chance to
// cancel that takes the whole batch back), what dropped paths name, and the
// entry left selected after a delete.
#pragma once

#include <functional>
#include <vector>

#include "app/extension_filter.h"
#include "app/target_list_model.h"
#include "base/files.h"
#include "base/strings.h"

// Asked before every 1,024 paths of a batch with how many are checked so far;
// false cancels the adding.
using AddingStep = std::function<bool(int checked, int total)>;

struct AddedBatch {
    bool cancelled = false;   // the list is as it was before the batch
    int otherExtensions = 0;  // left out by the extension filter
    int added = 0;            // new entries; a file the list names already is not one
};

// roots pairs with batch only when it holds one folder per path.
AddedBatch AddBatch(TargetListModel& model, const VQArray<VQWString, VQWString>& batch,
                    const VQArray<VQWString, VQWString>* roots, const ExtensionFilter& extensions,
                    const AddingStep& step);

// The files the dropped paths name, folders searched (their files get the
// folder as root); a path Windows cannot open as written is counted in the
// search and left out. False when the search was cancelled.
bool CollectDroppedTargets(const VQArray<VQWString, VQWString>& paths, VQArray<VQWString, VQWString>& batch,
                           VQArray<VQWString, VQWString>& roots, VQFolderSearch& search);

// Removes the entries at these indices (the selection, in the list's order);
// returns the entry to select next, the one that took the first removed one's
// place so that Delete can be pressed again, or -1 when the list is empty.
int RemoveEntries(TargetListModel& model, std::vector<int> selected);
