// What a run is given beyond its texts: the entries with the roots they were
// found under, and the caption that tells the progress and the time left.
#include <windows.h>

#include "app/main_window.h"
#include "engine/run_estimate.h"
#include "win32/dialog_items.h"

VQWString MainWindow::RootOf(const VQWString& path) {
    auto found = keptMarks.empty() ? keptMarks.end() : keptMarks.find(path);
    return found == keptMarks.end() ? VQWString() : found->second.root;
}

std::vector<RunTarget> MainWindow::RunTargetsFromList(const std::vector<int>* only) {
    std::vector<RunTarget> list;
    VQWin32DialogItemListBoxW* box = TargetList();
    if (!box) return list;
    VQArray<VQWString, VQWString> entries;
    box->GetAllStrings(entries);
    auto take = [&](int index) {
        if (index < 0 || index >= entries.GetCount()) return;
        RunTarget target;
        target.path = entries[index];
        auto found = keptMarks.empty() ? keptMarks.end() : keptMarks.find(target.path);
        if (found != keptMarks.end()) {
            target.root = found->second.root;
            target.interrupted = found->second.running;
        }
        list.push_back(target);
    };
    if (only) {
        list.reserve(only->size());
        for (int index : *only) take(index);
    } else {
        list.reserve(static_cast<size_t>(entries.GetCount()));
        for (int i = 0; i < entries.GetCount(); ++i) take(i);
    }
    return list;
}

VQWString MainWindow::ProgressCaption(RunState state) {
    VQWString caption;
    // Skipped entries are not worked on: the count is of those that run.
    int total = GetRunnableCount();
    int started = GetStartedCount();
    if (started > total) started = total;
    caption.Format(state == RunState::Running ? L"処理中(%d/%d)" : L"停止中(%d/%d)", started, total);
    if (state == RunState::Running) {
        int64_t left = 0;
        int64_t elapsed = static_cast<int64_t>(static_cast<DWORD>(GetTickCount() - GetRunStartTick()));
        if (EstimateTimeLeft(GetFinishedCount(), total, runOptions.parallel,
                             GetFinishedMilliseconds(), elapsed, left)) {
            caption.Append(L" ");
            caption.Append(FormatTimeLeft(left));
        }
    }
    caption.Append(L" - ");
    caption.Append(IdleCaption());
    return caption;
}
