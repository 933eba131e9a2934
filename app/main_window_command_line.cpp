// What the command line asks of the window: the job, settings files,
// targets and list files it names, loaded as the window opens; the targets
// that a second start hands over (WM_COPYDATA) instead of opening a window
// of its own; and the run nobody watches (/run), which answers every box by
// itself, ends the window when the run ends and leaves an exit code and a
// report for the console.
#include <windows.h>

#include <string>

#include "app/main_window.h"
#include "base/files.h"
#include "base/path_identity.h"
#include "engine/run_summary.h"
#include "win32/dialog_items.h"
#include "win32/message_box.h"

namespace {

enum { kStartUnattendedMessage = WM_APP + 40, kAddHandedOverMessage = WM_APP + 41, kUnattendedPollMs = 200 };

// The names the missing-paths message shows before "…".
const int kShownMissing = 5;
// The failed files /run names one a line; a count stands for the rest.
const int kShownFailures = 50;

// A box's text on one line of the console: its lines joined, blank ones left out.
VQWString OneLine(const VQWString& text) {
    VQWString line;
    const wchar_t* p = text.Text();
    const wchar_t* end = p + text.GetLength();
    while (p < end) {
        const wchar_t* stop = p;
        while (stop < end && *stop != L'\n' && *stop != L'\r') ++stop;
        if (stop > p) {
            if (!line.IsEmpty()) line.Append(L" / ");
            line.Append(p, static_cast<int>(stop - p));
        }
        p = stop < end ? stop + 1 : end;
    }
    return line;
}

VQWString CountsText(const RunSummary& counts) {
    VQWString text;
    text.Format(L"%d done", counts.done);
    if (counts.skipped > 0) text.Append(VQWString().Format(L", %d skipped", counts.skipped));
    text.Append(VQWString().Format(L", %d failed", counts.failed));
    if (counts.stopped > 0) text.Append(VQWString().Format(L", %d stopped", counts.stopped));
    text.Append(VQWString().Format(L", %d not run", counts.notRun));
    return text;
}

}  // namespace

void MainWindow::NoteUnattendedBox(const wchar_t* text) { unattendedBoxes.push_back(VQWString(text ? text : L"")); }

void MainWindow::ActOnCommandLine() {
    size_t boxesBefore = unattendedBoxes.size();
    // The job and the settings files set the job before the targets come, so
    // that its file types decide which of a folder's files are taken. A file
    // that cannot be imported leaves the settings as they were.
    if (!commandLine.jobPath.IsEmpty() && ImportSettingsFileReporting(commandLine.jobPath.Text(), true)) {
        // Chosen as the ジョブ row would choose it, without its question: nothing was changed yet.
        jobs.SetCurrent(commandLine.job);
        RefreshJobList();
    }
    for (const VQWString& path : commandLine.settingsFiles) ImportSettingsFileReporting(path.Text(), true);
    // A settings file that did not load whole would run another job than the one meant.
    // What blocks the run is what it says it did not start for; the notes before are told apart.
    if (unattendedBoxes.size() > boxesBefore) {
        unattendedBlocked = true;
        blockedBoxesFrom = boxesBefore;
    }
    AddArgumentTargets(commandLine.targets, commandLine.missing);
    for (const VQWString& listFile : commandLine.listFiles) {
        VQWString full;
        if (!GetFullPath(listFile, full)) full = listFile;
        if (GetFileAttributesW(SystemForm(full).Text()) == INVALID_FILE_ATTRIBUTES) {
            if (!unattendedBlocked) blockedBoxesFrom = unattendedBoxes.size();
            MsgBox(this, VQWString().Format(L"リストファイルが見つかりません。\n%s", full.Text()).Text(), L"エラー",
                   VQMB_OK, 1);
            unattendedBlocked = true;
            continue;
        }
        AddListFile(full.Text());
    }
    if (commandLine.Unattended()) {
        // Closed before the run began (the session ended): it did not start.
        unattendedExitCode = kExitNotStarted;
        unattendedReport = L"Quenbrix: the run did not start: the window was closed\n";
        PostMessageW(handle, kStartUnattendedMessage, 0, 0);
    }
}

void MainWindow::AddArgumentTargets(const std::vector<VQWString>& targets, const std::vector<VQWString>& missing) {
    if (!targets.empty()) {
        VQArray<VQWString, VQWString> paths;
        for (const VQWString& path : targets) paths.Add(path);
        AddDroppedPaths(paths);
    }
    if (missing.empty()) return;
    VQWString text;
    text.Format(L"コマンドラインの %d 件の引数を追加しませんでした。\n存在しないパス: %d 件\n",
                static_cast<int>(missing.size()), static_cast<int>(missing.size()));
    for (size_t i = 0; i < missing.size() && i < static_cast<size_t>(kShownMissing); ++i) {
        text.Append(L'\n');
        text.Append(missing[i]);
    }
    if (missing.size() > static_cast<size_t>(kShownMissing)) text.Append(L"\n…");
    MsgBox(this, text.Text(), L"追加", VQMB_OK, 1);
}

int MainWindow::OnAppMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kStartUnattendedMessage: StartUnattended(); return 0;
    case kAddHandedOverMessage: {
        std::vector<VQWString> paths;
        paths.swap(handedOver);
        if (paths.empty()) return 0;
        // The second start found them a moment ago; what went since is named.
        std::vector<VQWString> targets, missing;
        for (const VQWString& path : paths) {
            bool exists = GetFileAttributesW(SystemForm(path).Text()) != INVALID_FILE_ATTRIBUTES;
            (exists ? targets : missing).push_back(path);
        }
        if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
        SetForegroundWindow(handle);
        AddArgumentTargets(targets, missing);
        return 0;
    }
    default: return VQWin32DialogWindow::OnAppMessage(hwnd, message, wParam, lParam);
    }
}

LRESULT MainWindow::OnCommandLineMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_TIMER) {
        CheckUnattendedEnd();
        return 0;
    }
    // WM_COPYDATA: the sender's storage place (StoragePlaceKey), then
    // full paths, each NUL-terminated. They are added once the sender has
    // its answer, so that it never waits for the search of a large folder.
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    // A run nobody watches takes nothing more: the next window is asked.
    if (commandLine.Unattended()) return FALSE;
    if (!data || data->dwData != kHandOverData || !data->lpData || data->cbData % sizeof(wchar_t) != 0) return FALSE;
    const wchar_t* units = static_cast<const wchar_t*>(data->lpData);
    size_t count = data->cbData / sizeof(wchar_t);
    // A portable copy's files stay with it, and an installed copy's with it.
    size_t start = 0;
    while (start < count && units[start] != L'\0') ++start;
    if (start >= count || StoragePlaceKey(storagePlace) != VQWString().Append(units, static_cast<int>(start))) {
        return FALSE;
    }
    ++start;
    for (size_t i = start; i < count; ++i) {
        if (units[i] != L'\0') continue;
        if (i > start) handedOver.push_back(VQWString().Append(units + start, static_cast<int>(i - start)));
        start = i + 1;
    }
    PostMessageW(handle, kAddHandedOverMessage, 0, 0);
    return TRUE;
}

VQWString MainWindow::StoragePlaceKey(const StoragePlace& place) {
    return place.portable ? PathIdentity(place.settingsFile) : VQWString();
}

bool MainWindow::HandOverToOpenWindow(const std::vector<VQWString>& paths, const StoragePlace& place) {
    VQWString key = StoragePlaceKey(place);
    std::wstring payload(key.Text(), static_cast<size_t>(key.GetLength()));
    payload += L'\0';
    for (const VQWString& path : paths) {
        payload.append(path.Text(), static_cast<size_t>(path.GetLength()));
        payload += L'\0';
    }
    COPYDATASTRUCT data = {};
    data.dwData = kHandOverData;
    data.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
    data.lpData = &payload[0];
    // In z-order: the window the user used last first.
    for (HWND other = FindWindowExW(nullptr, nullptr, L"Quenbrix", nullptr); other;
         other = FindWindowExW(nullptr, other, L"Quenbrix", nullptr)) {
        if (!IsWindowVisible(other)) continue;
        // The window comes to the front to show what it took: the start the
        // user made may give it the foreground.
        DWORD process = 0;
        GetWindowThreadProcessId(other, &process);
        AllowSetForegroundWindow(process);
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(other, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                                &answer) &&
            answer == TRUE) {
            return true;
        }
    }
    return false;
}

VQWString MainWindow::UnattendedNotes(size_t from, size_t to) const {
    VQWString lines;
    for (size_t i = from; i < to && i < unattendedBoxes.size(); ++i) {
        lines.Append(VQWString().Format(L"Quenbrix: %s\n", OneLine(unattendedBoxes[i]).Text()));
    }
    return lines;
}

void MainWindow::EndNotStarted(size_t reasonsFrom) {
    // What came before the reason is told first, each on its line.
    VQWString report = UnattendedNotes(0, reasonsFrom);
    VQWString reasons;
    for (size_t i = reasonsFrom; i < unattendedBoxes.size(); ++i) {
        if (!reasons.IsEmpty()) reasons.Append(L" / ");
        reasons.Append(OneLine(unattendedBoxes[i]));
    }
    if (reasons.IsEmpty()) reasons = L"実行を開始できませんでした。";
    report.Append(VQWString().Format(L"Quenbrix: the run did not start: %s\n", reasons.Text()));
    EndUnattended(kExitNotStarted, report);
}

void MainWindow::StartUnattended() {
    // /plan: the run written out, nothing run.
    if (!unattendedBlocked && !commandLine.planFile.IsEmpty()) {
        VQWString full, error;
        if (!GetFullPath(commandLine.planFile, full)) full = commandLine.planFile;
        bool written = WritePlan(PlanOfFields(), full.Text(), error);
        // The loading's notes, and those of the list that came in for the plan.
        VQWString report = UnattendedNotes(0, unattendedBoxes.size());
        if (!written) {
            report.Append(VQWString().Format(L"Quenbrix: the plan was not written: %s\n", OneLine(error).Text()));
            EndUnattended(kExitNotStarted, report);
            return;
        }
        report.Append(
            VQWString().Format(L"Quenbrix: plan of %d files: %s\n", targetModel.GetCount(), full.Text()));
        // A path that named nothing is a file the run would not have run, as with /run.
        EndUnattended(commandLine.missing.empty() ? kExitAllDone : kExitSomeNotDone, report);
        return;
    }
    if (unattendedBlocked) {
        EndNotStarted(blockedBoxesFrom);
        return;
    }
    runBoxesFrom = unattendedBoxes.size();
    RunOrStop();
    RunState state = GetState();
    if (state == RunState::Idle) {
        EndNotStarted(runBoxesFrom);
        return;
    }
    unattendedRunning = true;
    // Closed before the end (the session ended): files were left.
    unattendedExitCode = kExitSomeNotDone;
    unattendedReport = L"Quenbrix: the run was ended before its end\n";
    SetTimer(handle, kCommandLineTimerId, kUnattendedPollMs, nullptr);
}

void MainWindow::CheckUnattendedEnd() {
    // The run's end is taken by the window's own timer first (marks, the
    // list, the results file, its error box): only then is it over here.
    if (!unattendedRunning || GetState() != RunState::Idle || !runEnded) return;
    unattendedRunning = false;
    KillTimer(handle, kCommandLineTimerId);
    RunSummary counts = GetSummary();
    VQWString report(L"Quenbrix: ");
    report.Append(CountsText(counts));
    if (!lastResultsFile.IsEmpty()) report.Append(VQWString().Format(L"; results: %s", lastResultsFile.Text()));
    report.Append(L'\n');
    // Each failed file and why, so that a log names them all.
    int moreFailures = 0;
    for (const VQWString& failure : GetFailures(kShownFailures, &moreFailures)) {
        report.Append(VQWString().Format(L"Quenbrix: failed: %s\n", failure.Text()));
    }
    if (moreFailures > 0) report.Append(VQWString().Format(L"Quenbrix: %d more failed\n", moreFailures));
    // What the boxes would have said: the loading's notes and the run's errors.
    for (const VQWString& box : unattendedBoxes) report.Append(VQWString().Format(L"Quenbrix: %s\n", OneLine(box).Text()));
    bool allDone = counts.done + counts.skipped == GetTargetCount() && commandLine.missing.empty();
    EndUnattended(allDone ? kExitAllDone : kExitSomeNotDone, report);
}

void MainWindow::EndUnattended(int exitCode, const VQWString& report) {
    unattendedExitCode = exitCode;
    unattendedReport = report;
    PostMessageW(handle, WM_CLOSE, 0, 0);
}
