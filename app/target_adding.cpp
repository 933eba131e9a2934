#include "app/target_adding.h"

#include <utility>

#include "base/path_identity.h"
#include "settings/target_list_file.h"

AddedBatch AddBatch(TargetListModel& model, const VQArray<VQWString, VQWString>& batch,
                    const VQArray<VQWString, VQWString>* roots, const ExtensionFilter& extensions,
                    const AddingStep& step) {
    AddedBatch outcome;
    int listed = model.GetCount();
    int total = batch.GetCount();
    model.Reserve(total);
    bool hasRoots = roots && roots->GetCount() == total;
    for (int i = 0; i < total; ++i) {
        if (i % 1024 == 0 && step && !step(i, total)) {
            model.Truncate(listed);
            outcome.cancelled = true;
            return outcome;
        }
        if (!extensions.Admits(batch[i])) {
            ++outcome.otherExtensions;
            continue;
        }
        model.Add(batch[i], hasRoots ? (*roots)[i] : VQWString());
    }
    outcome.added = model.GetCount() - listed;
    return outcome;
}

bool CollectDroppedTargets(const VQArray<VQWString, VQWString>& paths, VQArray<VQWString, VQWString>& batch,
                           VQArray<VQWString, VQWString>& roots, VQFolderSearch& search) {
    // A dropped path that no longer exists adds nothing, without a word.
    for (int i = 0; i < paths.GetCount(); ++i) {
        if (HasUnopenableName(paths[i])) {
            ++search.unopenableNames;
            continue;
        }
        CollectTargets(paths[i], batch, &search, &roots);
        if (search.cancelled) return false;
    }
    return true;
}

int RemoveEntries(TargetListModel& model, std::vector<int> selected) {
    if (selected.empty()) return -1;
    int first = selected[0];
    model.Remove(std::move(selected));
    return first < model.GetCount() ? first : model.GetCount() - 1;
}
