// The watch of the job's folders as the window shows it: 監視を開始 and
// 監視を停止, /watch, the files that settled run as runs of their own, 監視中
// in the caption and under the table; and the word at a long run's end (the
// taskbar's flash, a notification whose click brings the first failure).
#include <windows.h>
#include <shellapi.h>

#include "app/extension_filter.h"
#include "app/main_window.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"
#include "win32/taskbar.h"

namespace {

enum { kNotifyIconMessage = WM_APP + 42 };

}  // namespace

bool MainWindow::StartWatching() {
    if (watcher.IsWatching()) return true;
    ExtensionFilter filter(EditText(IDC_FILEEXT_EDIT));
    WatchRequest request;
    request.folders = EditText(IDC_WATCH_EDIT);
    request.command = EditText(IDC_COMMAND_EDIT);
    request.outputTemplate = EditText(IDC_OUTPUT_EDIT);
    request.directory = EditText(IDC_DIRECTORY_EDIT);
    if (request.directory.IsEmpty()) request.directory = runController.Runner().GetStartDirectory();
    request.accepts = [filter](const VQWString& path) { return filter.Admits(path); };
    request.settleSeconds = static_cast<DWORD>(form.NumberValue(IDC_WATCH_SETTLE_EDIT));
    request.existing = IsChecked(IDC_WATCH_EXISTING_CHECK);
    request.dataFolder = dataFolder;
    VQWString error;
    if (!watcher.Start(request, error)) {
        // /watch has no window to show it in yet: it goes to the console.
        if (commandLine.watch && !IsWindowVisible(handle)) {
            watchRefusal = error;
        } else {
            ShowError(error.Text());
        }
        return false;
    }
    SetRunning(runController.State() != RunState::Idle);
    ShowWatchState();
    return true;
}

void MainWindow::StopWatching() {
    if (!watcher.IsWatching()) return;
    watcher.Stop();
    stopWatchAtRunEnd = false;
    SetRunning(runController.State() != RunState::Idle);
    ShowWatchState();
}

void MainWindow::OnWatchButton() {
    if (!watcher.IsWatching()) {
        StartWatching();
    } else if (watchRunGoing) {
        // The run of the files taken goes to its end first, so that each is accounted for.
        stopWatchAtRunEnd = true;
        if (runController.State() == RunState::Running) RunOrStop();
    } else {
        StopWatching();
    }
}

void MainWindow::WatchTick() {
    // Adding files pumps messages: a tick then must not start another run inside this one.
    if (!watcher.IsWatching() || inWatchTick) return;
    inWatchTick = true;
    watcher.Tick(tickCount());
    inWatchTick = false;
    ShowWatchState();
}

void MainWindow::ShowWatchState() {
    bool watching = watcher.IsWatching();
    VQWString text = watching ? watcher.StatusText() : VQWString();
    bool idle = runController.State() == RunState::Idle;
    // Each set repaints: only what changed is set (this runs at every tick).
    if (text == shownWatchText && watching == shownWatching && idle == shownIdle) return;
    shownWatchText = text;
    shownIdle = idle;
    table.SetStatusNote(text);
    if (watching != shownWatching) {
        shownWatching = watching;
        if (VQWin32DialogItem* button = FindItemById(IDC_WATCH_BUTTON)) {
            button->SetTextW(watching ? L"監視を停止(&G)" : L"監視を開始(&G)", false);
        }
    }
    if (!idle || !handle) return;
    VQWString caption = IdleCaption();
    if (watching) {
        caption = text;
        caption.Append(L" - ");
        caption.Append(IdleCaption());
    }
    wchar_t shown[1024];
    if (InternalGetWindowText(handle, shown, 1024) > 0 && caption == VQWString(shown)) return;
    SetWindowTextW(handle, caption.Text());
}

bool MainWindow::WatchCanRun() {
    // A box or a dialog of the user's goes first, and a run just ended keeps its stray-click guard.
    return runController.State() == RunState::Idle && !runController.JustEnded() && handle &&
           IsWindowEnabled(handle) && !keeper.IsLoading();
}

bool MainWindow::RunWatchedFiles(const std::vector<WatchedFile>& files) {
    VQArray<VQWString, VQWString> batch, roots;
    for (const WatchedFile& file : files) {
        batch.Add(file.path);
        roots.Add(file.root);
    }
    AddTargets(&batch, &roots);
    std::vector<int> only;
    for (const WatchedFile& file : files) {
        int index = targetModel.Find(file.path);
        if (index >= 0) only.push_back(index);
    }
    if (only.empty()) return true;
    // Nobody answers a watch's boxes: each takes its default, as under /run,
    // and the last one stays on the line under the table.
    VQWString lastBox;
    SetMsgBoxUnattended([&lastBox](const wchar_t* text, const wchar_t*, int) { lastBox = text; });
    RunOrStop(&only);
    SetMsgBoxUnattended(nullptr);
    watchRunGoing = runController.State() != RunState::Idle;
    if (!lastBox.IsEmpty()) {
        if (VQWin32DialogItem* detail = FindItemById(IDC_RESULT_DETAIL)) detail->SetTextW(lastBox.Text(), false);
    }
    if (watchRunGoing) return true;
    // The check refused the run: the files wait for their next change, not for the next tick.
    std::vector<VQWString> notRun;
    for (const WatchedFile& file : files) notRun.push_back(file.path);
    watcher.RunEnded({}, notRun, {});
    return true;
}

void MainWindow::WatchRunEnded() {
    if (!watchRunGoing) return;
    watchRunGoing = false;
    const BatchRunner& runner = runController.Runner();
    std::vector<VQWString> ran, notRun, outputs;
    for (int i = 0; i < runner.GetTargetCount(); ++i) {
        const TargetRecord* record = runner.GetRecord(i);
        TargetStatus status = record ? record->Status() : TargetStatus::NotRun;
        bool taken = status != TargetStatus::NotRun && status != TargetStatus::Stopped;
        (taken ? ran : notRun).push_back(runner.GetTargetPath(i));
        if (record && !record->outputPath.IsEmpty()) outputs.push_back(record->outputPath);
    }
    watcher.RunEnded(ran, notRun, outputs);
    if (stopWatchAtRunEnd) StopWatching();
}

void MainWindow::NotifyRunEnd() {
    if (!IsChecked(IDC_NOTIFY_CHECK) || commandLine.Unattended() || !handle) return;
    if (runController.LastRunMilliseconds() < kNotifyAfterMs) return;
    if (GetForegroundWindow() == handle && !IsIconic(handle)) return;
    RunSummary counts = runController.Runner().GetSummary();
    VQWString text;
    text.Format(L"完了 %d 件、失敗 %d 件", counts.done + counts.skipped, counts.failed);
    if (counts.stopped) text.Append(VQWString().Format(L"、停止 %d 件", counts.stopped));
    if (counts.notRun) text.Append(VQWString().Format(L"、未実行 %d 件", counts.notRun));
    VQWString title = jobs.Current().IsEmpty() ? VQWString(L"Quenbrix") : jobs.Current();
    VQGetTaskbar()->Notify(handle, kNotifyIconMessage, title.Text(), text.Text());
}

bool MainWindow::OnNotifyIcon(LPARAM lParam) {
    UINT event = LOWORD(lParam);
    if (event != NIN_BALLOONUSERCLICK && event != WM_LBUTTONUP) return false;
    VQGetTaskbar()->EndNotify(handle);
    if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
    SetForegroundWindow(handle);
    for (int i = 0; i < targetModel.GetCount(); ++i) {
        if (!IsFailure(EntryStatus(i))) continue;
        table.SelectRows({i});
        break;
    }
    return true;
}

int MainWindow::OnWatchMessage(UINT message, LPARAM lParam) {
    if (message == kNotifyIconMessage) return OnNotifyIcon(lParam) ? 0 : -1;
    return -1;
}
