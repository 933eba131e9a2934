// A run as the window shows it: the run button, the controls a run locks, the
// progress in the caption, on the bar and on the taskbar, and the run's end in
// the list (the line of details, the error box, the entries that are done
// leaving, the selection). What a press comes to, the texts and the results
// are the run controller's (app/run_controller.h).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "app/main_window.h"
#include "base/timing_log.h"
#include "engine/run_report.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"
#include "win32/taskbar.h"

namespace {

// Inputs that a run locks: the job settings it reads at its start (the
// settings table says which), and these; the run button and the check boxes
// read at its end or at none stay usable.
const std::vector<int> kLockedDuringRun = JobForm::LockedDuringRun(
    {IDC_ADD_BUTTON, IDC_LIST_ADD_BUTTON, IDC_DELETE_BUTTON, IDC_DELETE_ALL_BUTTON, IDC_SELECT_DIRECTORY_BUTTON,
     IDC_LOAD_BUTTON, IDC_SAVE_BUTTON, IDC_PARALLEL_SPIN, IDC_JOB_COMBO, IDC_JOB_MENU_BUTTON});

// While watching, the job stays as the watch took it; the list stays the user's.
const std::vector<int> kLockedWhileWatching =
    JobForm::LockedDuringRun({IDC_LOAD_BUTTON, IDC_JOB_COMBO, IDC_JOB_MENU_BUTTON});

bool Holds(const std::vector<int>& ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

}  // namespace

void MainWindow::RunOrStop(const std::vector<int>* only) {
    RunController::Press press = runController.OnPress();
    if (press == RunController::Press::Stopped) {
        // 停止 of a watched run ends the watch as well, once the run is accounted for.
        if (watchRunGoing) stopWatchAtRunEnd = true;
        ShowProgress(runController.State());
    }
    if (press != RunController::Press::Start) return;
    // The kept list is part of the run: one still being read is waited for.
    std::vector<int> chosen = only ? *only : std::vector<int>();
    if (keeper.IsLoading()) keeper.FinishLoad(false, only ? &chosen : nullptr);
    if (only) only = &chosen;
    std::vector<RunTarget> list = RunTargetsFromList(only);
    VQWString preCommandText = EditText(IDC_PRECOMMAND_EDIT);
    VQWString commandText = EditText(IDC_COMMAND_EDIT);
    VQWString outputText = EditText(IDC_OUTPUT_EDIT);
    // An entry whose template fails would stop the run there, after the ones
    // before it ran: the whole list is checked first, and decides the skips.
    std::vector<bool> skip;
    if (!CheckBeforeRun(preCommandText, commandText, outputText, list, skip)) return;
    // The list on the disk holds every entry before the first one begins.
    keeper.AtRunStart();
    const std::vector<bool>* skipped = skip.empty() ? nullptr : &skip;
    BatchRunner::StartResult started = runController.Start(preCommandText, commandText, EditText(IDC_DIRECTORY_EDIT),
                                                           outputText, list, ReadRunOptions(), skipped);
    if (started != BatchRunner::Started) {
        VQWString problem = runController.StartProblem(started);
        if (!problem.IsEmpty()) ShowError(problem.Text());
        return;
    }
    // The fields' histories take what a run started with, never what was only typed.
    RememberRunValues();
    // The last run's marks go; this run's come as its targets finish.
    targetModel.BeginRun(only, skipped);
    table.StartFollowingRun();
    SetRunning(true);
    ShowProgress(RunState::Running);
}

void MainWindow::SetRunning(bool running) {
    table.SetShowsRun(running);
    VQWin32DialogItem* run = FindItemById(IDC_RUN_BUTTON);
    HWND focus = GetFocus();
    for (int id : kLockedDuringRun) {
        VQWin32DialogItem* item = FindItemById(id);
        if (!item) continue;
        bool locked = running || (watcher.IsWatching() && Holds(kLockedWhileWatching, id));
        // A disabled control loses the focus to nowhere, and then no mnemonic
        // and no Tab reaches the panel: it goes to Run/Stop, which stays usable.
        if (locked && focus && item->IsHandle(focus) && run && run->GetHandle() && dialogHandle) {
            SendMessageW(dialogHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run->GetHandle()), TRUE);
        }
        item->Enable(!locked);
    }
    if (run) run->SetTextW(running ? L"停止(&T)" : L"実行(&E)", false);
    table.ShowRunBar(running, runController.Progress().total);
}

void MainWindow::ShowProgress(RunState state) {
    // A text is set only when it changes: each set repaints.
    auto show = [](HWND window, const wchar_t* text) {
        wchar_t shown[1024];
        if (!window || (InternalGetWindowText(window, shown, 1024) > 0 && wcscmp(shown, text) == 0)) return;
        SetWindowTextW(window, text);
    };
    show(handle, runController.ProgressCaption(state, IdleCaption()).Text());
    if (VQWin32DialogItem* run = FindItemById(IDC_RUN_BUTTON)) {
        // After the first Stop the button ends the running commands at once.
        show(run->GetHandle(), state == RunState::Running ? L"停止(&T)" : L"強制終了(&K)");
    }
    RunProgress progress = runController.Progress();
    VQGetTaskbar()->SetProgress(handle, progress.failed ? VQTaskbar::kError : VQTaskbar::kNormal, progress.finished,
                                progress.total);
    table.ShowRunProgress(progress.finished, progress.total, progress.failed);
}

int MainWindow::OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (wParam != kTimerId) return VQWin32DialogWindow::OnTimer(hwnd, wParam, lParam);
    keeper.Tick(IsWindowEnabled(handle) != FALSE);
    WatchTick();
    RunState state = runController.State();
    if (state == RunState::Idle) return 0;
    if (state == RunState::Ended) {
        OnRunEnded(false);
        // A run nobody watches is over now, not at its own timer's tick.
        CheckUnattendedEnd();
        return 0;
    }
    // What a file's end costs here must not grow with the list: the table
    // keeps running totals and redraws only the rows that changed, and the
    // caption and the table take the news a few times a second.
    if (table.FollowRunIfDue()) return 0;
    if (!table.RunRedrawDue(tickCount())) return 0;
    ShowProgress(state);
    if (table.ShowRunChanges()) table.UpdateStatus();
    return 0;
}

void MainWindow::OnRunEnded(bool closing) {
    TimingMark("run's end taken");
    bool failed = runController.Progress().failed;
    int total = runController.Runner().GetTargetCount();
    runController.Finish();
    SetRunning(false);
    SetWindowTextW(handle, IdleCaption().Text());
    // A failure stays on the taskbar button until the user comes back to the window.
    VQGetTaskbar()->SetProgress(handle, failed ? VQTaskbar::kError : VQTaskbar::kNone, total, total);
    ApplyResults();
    KeepRunResults();
    bool watched = watchRunGoing;
    WatchRunEnded();
    if (closing) return;
    VQWString line = runController.EndLine();
    VQWin32DialogItem* detail = FindItemById(IDC_RESULT_DETAIL);
    if (detail && !line.IsEmpty()) detail->SetTextW(line.Text(), false);
    keeper.Save();
    TimingMark("run's end shown");
    VQGetTaskbar()->Flash(handle);
    NotifyRunEnd();
    ShowWatchState();
    // The error comes last, from a copy: while its box waits, the next run
    // may already start (an about box closed under it gives the window back).
    // A watch's run waits for nobody: its failures stay marked, on the line and in the results file.
    VQWString message = watched ? VQWString() : runController.EndMessage();
    if (!message.IsEmpty()) ShowError(message.Text());
}

void MainWindow::ApplyResults() {
    // The box's state when the run ends decides, not its state at the start.
    auto collect = [this](bool removeDone) { return runController.CollectResults(targetModel, removeDone); };
    if (!table.ShowRunEnd(IsChecked(IDC_DELETE_CHECK), collect)) return;
    UpdateCount();
    OnListSelectionChanged();
}

int MainWindow::OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WA_INACTIVE && runController.State() == RunState::Idle) {
        VQGetTaskbar()->SetProgress(handle, VQTaskbar::kNone, 0, 0);
    }
    // The word was for a user away from the window.
    if (LOWORD(wParam) != WA_INACTIVE) VQGetTaskbar()->EndNotify(handle);
    return VQWin32DialogWindow::OnActivate(hwnd, wParam, lParam);
}

TargetStatus MainWindow::EntryStatus(int index) {
    return runController.EntryStatus(targetModel, index, table.ShowsRun());
}

const EntryResult* MainWindow::GetEntryResult(int index) { return targetModel.ResultOf(index); }

std::vector<RunTarget> MainWindow::RunTargetsFromList(const std::vector<int>* only) {
    return RunTargetsOf(targetModel, only);
}

void MainWindow::ShowSelection() {
    VQWin32DialogItem* line = FindItemById(IDC_RESULT_DETAIL);
    if (line) line->SetTextW(table.SelectionDetails().Text(), false);
    UpdatePreview();
    table.UpdateSelectionCount();
}

void MainWindow::OpenLastResults() {
    VQWString path = runController.ResultsFileToOpen();
    if (path.IsEmpty() || GetFileAttributesW(path.Text()) == INVALID_FILE_ATTRIBUTES) {
        ShowError(L"開く結果ファイルがありません。");
        return;
    }
    if (!openInDefaultProgram || !openInDefaultProgram(handle, path.Text())) {
        VQWString message;
        message.Format(L"結果ファイルを開けませんでした。\n%s", path.Text());
        ShowError(message.Text());
    }
}
