// What a run is given beyond its texts: the entries with the roots they were
// found under, and the caption that tells the progress and the time left.
#include <windows.h>

#include "app/main_window.h"
#include "engine/run_estimate.h"
#include "win32/dialog_items.h"

VQWString MainWindow::RootOf(const VQWString& path) {
    int at = targetModel.Find(path);
    return at < 0 ? VQWString() : targetModel.At(at).root;
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
