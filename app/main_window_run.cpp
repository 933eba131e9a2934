// A run as the window shows it: Run and the two stages of Stop, the progress
// in the caption and on the taskbar, and what each target's result looks like
// in the list afterwards (a mark, a line of details, the error box naming the
// file, the removal of the entries that are done, the results file).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/main_window.h"
#include "engine/run_report.h"
#include "engine/run_summary.h"
#include "win32/dialog_items.h"
#include "win32/drop_down.h"
#include "win32/message_box.h"
#include "win32/progress_bar.h"
#include "win32/taskbar.h"

namespace {

// Inputs that a run locks; the run button and the check boxes read at its
// end or at none stay usable.
const int kLockedDuringRun[] = {IDC_FILEEXT_EDIT,   IDC_PRECOMMAND_EDIT,     IDC_COMMAND_EDIT,
                                IDC_DIRECTORY_EDIT, IDC_ADD_BUTTON,
                                IDC_LIST_ADD_BUTTON, IDC_DELETE_BUTTON,      IDC_DELETE_ALL_BUTTON,
                                IDC_SELECT_DIRECTORY_BUTTON, IDC_LOAD_BUTTON, IDC_SAVE_BUTTON,
                                IDC_PARALLEL_EDIT,  IDC_PARALLEL_SPIN,       IDC_HIDE_COMMAND,
                                IDC_ON_FAILURE_COMBO, IDC_TIME_LIMIT_EDIT,   IDC_RETRIES_EDIT,
                                IDC_LOW_PRIORITY_CHECK, IDC_OUTPUT_EDIT,     IDC_SKIP_UP_TO_DATE_CHECK,
                                IDC_CHECK_OUTPUT_CHECK, IDC_KEEP_FAILED_OUTPUT_CHECK,
                                IDC_JOB_COMBO,      IDC_JOB_MENU_BUTTON};

}  // namespace

RunOptions MainWindow::ReadRunOptions() {
    RunOptions options;
    options.checkExitCode = IsChecked(IDC_CHECK_EXIT_CODE);
    options.hideCommand = IsChecked(IDC_HIDE_COMMAND);
    int parallel = _wtoi(EditText(IDC_PARALLEL_EDIT).Text());
    options.parallel = parallel < 1 ? 1 : (parallel > kMaxParallel ? kMaxParallel : parallel);
    if (VQWin32DialogItemDropDown* onFailure = dynamic_cast<VQWin32DialogItemDropDown*>(FindItemById(IDC_ON_FAILURE_COMBO))) {
        options.onFailure = onFailure->GetSelection() == 1 ? 1 : 0;
    }
    // A number past the field's range is taken as its largest, as 同時実行数 is.
    int timeLimit = _wtoi(EditText(IDC_TIME_LIMIT_EDIT).Text());
    options.timeLimitSeconds = timeLimit < 0 ? 0 : (timeLimit > kMaxTimeLimitSeconds ? kMaxTimeLimitSeconds : timeLimit);
    int retries = _wtoi(EditText(IDC_RETRIES_EDIT).Text());
    options.retries = retries < 0 ? 0 : (retries > kMaxRetries ? kMaxRetries : retries);
    options.lowPriority = IsChecked(IDC_LOW_PRIORITY_CHECK);
    options.skipUpToDate = IsChecked(IDC_SKIP_UP_TO_DATE_CHECK);
    options.checkOutput = IsChecked(IDC_CHECK_OUTPUT_CHECK);
    options.keepFailedOutput = IsChecked(IDC_KEEP_FAILED_OUTPUT_CHECK);
    return options;
}

void MainWindow::RunOrStop(const std::vector<int>* only) {
    if (!thread) return;
    DWORD now = tickCount();
    RunState state = GetState();
    if (state == RunState::Running || state == RunState::Stopping) {
        // The second click of a double-click on 停止 lands on 強制終了: that
        // takes a press only once it has been shown for a while.
        if (state == RunState::Stopping && now - forceShownAt < kForceStopArmMs) return;
        RequestStop();
        stopRequested = true;
        if (state == RunState::Running) forceShownAt = now;
        ShowProgress(GetState());
        return;
    }
    if (state != RunState::Idle) return;
    // A click meant for 停止 that lands just after the run ended starts nothing.
    if (runEnded && now - runEndedAt < kRunAfterEndMs) return;
    // The kept list is part of the run: one still being read is waited for.
    std::vector<int> chosen;
    if (keptListLoad) {
        if (only) chosen = *only;
        FinishKeptListLoad(false, only ? &chosen : nullptr);
        if (only) only = &chosen;
    }
    std::vector<RunTarget> list = RunTargetsFromList(only);
    VQWString preCommandText = EditText(IDC_PRECOMMAND_EDIT);
    VQWString commandText = EditText(IDC_COMMAND_EDIT);
    VQWString outputText = EditText(IDC_OUTPUT_EDIT);
    // An entry whose template fails would stop the run there, after the ones
    // before it ran: the whole list is checked first, and decides the skips.
    std::vector<bool> skip;
    if (!CheckBeforeRun(preCommandText, commandText, outputText, list, skip)) return;
    // The list on the disk holds every entry before the first one begins.
    KeepListAtRunStart();
    switch (StartRun(preCommandText, commandText, EditText(IDC_DIRECTORY_EDIT), outputText, list, ReadRunOptions(),
                     skip.empty() ? nullptr : &skip)) {
    case Started:
        // The fields' histories take what a run started with, never what was only typed.
        RememberRunValues();
        // The last run's marks go; this run's come as its targets finish.
        targetModel.BeginRun(only, skip.empty() ? nullptr : &skip);
        table.StartFollowingRun();
        stopRequested = false;
        SetRunning(true);
        ShowProgress(RunState::Running);
        break;
    case NoTargets: ShowError(L"対象ファイルを指定してください。"); break;
    case NoCommand: ShowError(L"コマンドを入力してください。"); break;
    case NoDirectory: {
        VQWString message;
        message.Format(L"カレントディレクトリが見つかりません。\n%s", runDirectory.Text());
        ShowError(message.Text());
        break;
    }
    case NotStarted: break;
    }
}

void MainWindow::SetRunning(bool running) {
    table.SetShowsRun(running);
    VQWin32DialogItem* run = FindItemById(IDC_RUN_BUTTON);
    HWND focus = GetFocus();
    for (int id : kLockedDuringRun) {
        VQWin32DialogItem* item = FindItemById(id);
        if (!item) continue;
        // A disabled control loses the focus to nowhere, and then no mnemonic
        // and no Tab reaches the panel: it goes to Run/Stop, which stays usable.
        if (running && focus && item->IsHandle(focus) && run && run->GetHandle() && dialogHandle) {
            SendMessageW(dialogHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run->GetHandle()), TRUE);
        }
        item->Enable(!running);
    }
    if (run) run->SetTextW(running ? L"停止(&T)" : L"実行(&E)", false);
    // The bar beside the counts is there while a run goes.
    if (VQWin32DialogItemProgressBar* bar = RunProgressBar()) {
        bar->SetProgress(0, running ? GetRunnableCount() : 0, false);
        bar->Show(running);
    }
}

void MainWindow::ShowProgress(RunState state) {
    // A text is set only when it changes: each set repaints.
    auto show = [](HWND window, const wchar_t* text) {
        wchar_t shown[1024];
        if (!window || (InternalGetWindowText(window, shown, 1024) > 0 && wcscmp(shown, text) == 0)) return;
        SetWindowTextW(window, text);
    };
    show(handle, ProgressCaption(state).Text());
    if (VQWin32DialogItem* run = FindItemById(IDC_RUN_BUTTON)) {
        // After the first Stop the button ends the running commands at once.
        show(run->GetHandle(), state == RunState::Running ? L"停止(&T)" : L"強制終了(&K)");
    }
    VQGetTaskbar()->SetProgress(handle, HasFailure() ? VQTaskbar::kError : VQTaskbar::kNormal, GetFinishedCount(),
                                GetRunnableCount());
    if (VQWin32DialogItemProgressBar* bar = RunProgressBar()) {
        bar->SetProgress(GetFinishedCount(), GetRunnableCount(), HasFailure());
    }
}

VQWin32DialogItemProgressBar* MainWindow::RunProgressBar() {
    return static_cast<VQWin32DialogItemProgressBar*>(FindItemById(IDC_TABLE_PROGRESS));
}

int MainWindow::OnTimer(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (wParam != kTimerId) return VQWin32DialogWindow::OnTimer(hwnd, wParam, lParam);
    KeepListTick();
    RunState state = GetState();
    if (state == RunState::Idle) return 0;
    if (state == RunState::Ended) {
        OnJobEnded(false);
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

void MainWindow::OnJobEnded(bool closing) {
    bool failed = HasFailure();
    int total = GetTargetCount();
    runEnded = true;
    runEndedAt = tickCount();
    FinishRun();
    SetRunning(false);
    SetWindowTextW(handle, IdleCaption().Text());
    // A failure stays on the taskbar button until the user comes back to the window.
    VQGetTaskbar()->SetProgress(handle, failed ? VQTaskbar::kError : VQTaskbar::kNone, total, total);
    ApplyResults();
    KeepRunResults();
    if (closing) return;
    // The line under the list tells how the run ended, until an entry is
    // chosen; a run that ended at its failure shows that entry's details.
    VQWString summary = FormatSummary(GetSummary());
    bool goesOn = runOptions.onFailure == 1;
    if (stopRequested || goesOn || !failed) {
        VQWString line = summary;
        if (stopRequested) {
            line = L"停止しました。";
            line.Append(summary);
        }
        if (VQWin32DialogItem* detail = FindItemById(IDC_RESULT_DETAIL)) detail->SetTextW(line.Text(), false);
    }
    SaveTargetList();
    VQGetTaskbar()->Flash(handle);
    // The error comes last, from a copy: while its box waits, the next run
    // may already start (an about box closed under it gives the window back)
    // and reset errorText.
    VQWString error = errorText;
    int first = GetFirstFailedIndex();
    if (error.IsEmpty()) return;
    VQWString message;
    if (first >= 0 && first < GetTargetCount()) {
        message.Format(L"対象ファイル: %s\n\n%s", targets[first].Text(), error.Text());
    } else {
        message = error;
    }
    // A run that went on past its failures says so once, with the first of them.
    if (goesOn) {
        VQWString whole = summary;
        whole.Append(L"\n\n");
        whole.Append(message);
        message = whole;
    }
    ShowError(message.Text());
}

void MainWindow::ApplyResults() {
    int count = GetTargetCount();
    for (int i = 0; i < count; ++i) {
        if (const TargetRecord* record = GetRecord(i)) targetModel.SetRunResult(i, MakeEntryResult(*record));
    }
    VQWin32DialogItemListView* view = TargetList();
    if (!view || !view->GetHandle()) return;
    int failed = targetModel.EntryOfRunIndex(GetFirstFailedIndex());
    // The box's state when the run ends decides, not its state at the start.
    if (IsChecked(IDC_DELETE_CHECK)) {
        std::vector<int> doneEntries;
        int doneBeforeFailed = 0;
        for (int i = 0; i < count; ++i) {
            int entry = targetModel.EntryOfRunIndex(i);
            if (entry < 0 || !IsDoneResult(targetModel.StatusOf(entry))) continue;
            doneEntries.push_back(entry);
            if (entry < failed) ++doneBeforeFailed;
        }
        // The selection stays with the entries that stay.
        std::vector<int> selected;
        view->GetSelectedIndices(selected);
        std::vector<int> keptNumbers;
        for (int index : selected) keptNumbers.push_back(targetModel.At(index).number);
        targetModel.Remove(std::move(doneEntries));
        view->SetSelectedAll(false);
        view->SetCount(targetModel.GetCount());
        if (failed < 0) table.SelectNumbers(keptNumbers);
        if (failed >= 0) failed -= doneBeforeFailed;
    }
    // The first failure is where the user looks next.
    if (failed >= 0) view->SelectOnly(failed);
    view->RedrawRows(-1, -1);
    UpdateCount();
    OnListSelectionChanged();
}

int MainWindow::OnActivate(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) != WA_INACTIVE && GetState() == RunState::Idle) {
        VQGetTaskbar()->SetProgress(handle, VQTaskbar::kNone, 0, 0);
    }
    return VQWin32DialogWindow::OnActivate(hwnd, wParam, lParam);
}

TargetStatus MainWindow::EntryStatus(int index) {
    if (index < 0 || index >= targetModel.GetCount()) return TargetStatus::NotRun;
    int runIndex = targetModel.At(index).runIndex;
    if (table.ShowsRun() && runIndex >= 0 && runIndex < GetTargetCount()) return GetLiveStatus(runIndex);
    return targetModel.StatusOf(index);
}

const EntryResult* MainWindow::GetEntryResult(int index) { return targetModel.ResultOf(index); }

std::vector<RunTarget> MainWindow::RunTargetsFromList(const std::vector<int>* only) {
    std::vector<RunTarget> run;
    auto take = [&](int index) {
        const TargetEntry& entry = targetModel.At(index);
        run.push_back(RunTarget{entry.path, entry.root, entry.Unfinished()});
    };
    if (only) {
        run.reserve(only->size());
        for (int index : *only) {
            if (index >= 0 && index < targetModel.GetCount()) take(index);
        }
    } else {
        run.reserve(static_cast<size_t>(targetModel.GetCount()));
        for (int i = 0; i < targetModel.GetCount(); ++i) take(i);
    }
    return run;
}

VQWString MainWindow::DescribeEntry(int index) {
    const EntryResult* result = GetEntryResult(index);
    if (!result) return VQWString();
    VQWString text(StatusText(result->status));
    if (result->preEnded || result->commandEnded) {
        VQWString codes;
        codes.Format(L"　終了コード %s / %s", result->preEnded ? FormatExitCode(result->preExitCode).Text() : L"-",
                     result->commandEnded ? FormatExitCode(result->commandExitCode).Text() : L"-");
        text.Append(codes);
    }
    if (result->status != TargetStatus::NotRun) {
        VQWString seconds;
        seconds.Format(L"　%lu.%02lu 秒", static_cast<unsigned long>(result->milliseconds / 1000),
                       static_cast<unsigned long>(result->milliseconds % 1000 / 10));
        text.Append(seconds);
    }
    if (result->tries > 1) {
        VQWString tries;
        tries.Format(L"　試行 %d 回", result->tries);
        text.Append(tries);
    }
    if (!result->firstLine.IsEmpty()) {
        text.Append(L"　");
        text.Append(result->firstLine);
    }
    if (!result->outputPath.IsEmpty()) {
        text.Append(L"　出力: ");
        text.Append(result->outputPath);
        if (result->outputDeleted) text.Append(L"（削除しました）");
    }
    return text;
}

void MainWindow::ShowSelection() {
    VQWString details;
    int first = table.FirstSelected();
    if (first >= 0) details = DescribeEntry(first);
    if (VQWin32DialogItem* line = FindItemById(IDC_RESULT_DETAIL)) line->SetTextW(details.Text(), false);
    UpdatePreview();
    table.UpdateSelectionCount();
}

void MainWindow::OpenLastResults() {
    VQWString path = lastResultsFile;
    // After a restart: the newest file of the folder.
    if (path.IsEmpty()) path = FindNewestResultsFile(resultsFolder);
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
