// What the command line asks of the window: the job, settings files,
// targets and list files it names, loaded as the window opens; the targets
// that a second start hands over (WM_COPYDATA) instead of opening a window
// of its own, a job's only to a window of that job; and the run nobody
// watches (/run, /plan), told to its record (app/unattended_start.h), which
// ends the window when the run ends.
#include <windows.h>

#include "app/command_line.h"
#include "app/main_window.h"
#include "base/files.h"
#include "base/path_identity.h"
#include "base/timing_log.h"
#include "win32/message_box.h"

namespace {
enum { kStartUnattendedMessage = WM_APP + 40, kAddHandedOverMessage = WM_APP + 41, kStartWatchMessage = WM_APP + 43 };
}  // namespace

void MainWindow::ActOnCommandLine() {
    size_t boxesBefore = unattended.BoxCount();
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
    if (unattended.BoxCount() > boxesBefore) unattended.Block(boxesBefore);
    // The job is there to be matched: the starts waiting at the gate hand
    // their paths over now, and they are added after this start's own.
    if (startGate) startGate->Leave();
    AddArgumentTargets(commandLine.targets, commandLine.missing);
    for (const VQWString& listFile : commandLine.listFiles) {
        if (GetFileAttributesW(SystemForm(listFile).Text()) != INVALID_FILE_ATTRIBUTES) {
            AddListFile(listFile.Text());
            continue;
        }
        unattended.Block(unattended.BoxCount());
        MsgBox(this, VQWString().Format(L"リストファイルが見つかりません。\n%s", listFile.Text()).Text(), L"エラー",
               VQMB_OK, 1);
    }
    if (commandLine.Unattended()) {
        unattended.Begin(!commandLine.missing.empty());
        PostMessageW(handle, kStartUnattendedMessage, 0, 0);
    }
    // After the loading's boxes: the watch takes the job as they left it.
    if (commandLine.watch) PostMessageW(handle, kStartWatchMessage, 0, 0);
}

void MainWindow::AddArgumentTargets(const std::vector<VQWString>& targets, const std::vector<VQWString>& missing) {
    if (!targets.empty()) {
        VQArray<VQWString, VQWString> paths;
        for (const VQWString& path : targets) paths.Add(path);
        AddDroppedPaths(paths);
    }
    if (!missing.empty()) MsgBox(this, MissingArgumentsText(missing).Text(), L"追加", VQMB_OK, 1);
}

int MainWindow::OnAppMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kStartUnattendedMessage: StartUnattended(); return 0;
    case kStartWatchMessage:
        if (!StartWatching() && !watchRefusal.IsEmpty()) {
            PostMessageW(handle, WM_CLOSE, 0, 0);
        } else if (showOnceWatching >= 0) {
            ShowWindow(handle, showOnceWatching);
        }
        showOnceWatching = -1;
        return 0;
    case kAddHandedOverMessage: {
        std::vector<VQWString> paths;
        paths.swap(handedOver);
        if (paths.empty()) return 0;
        // The second start found them a moment ago; what went since is named.
        std::vector<VQWString> targets, missing;
        SplitByPresence(paths, targets, missing);
        if (IsIconic(handle)) ShowWindow(handle, SW_RESTORE);
        SetForegroundWindow(handle);
        AddArgumentTargets(targets, missing);
        return 0;
    }
    default:
        if (OnWatchMessage(message, lParam) == 0) return 0;
        return VQWin32DialogWindow::OnAppMessage(hwnd, message, wParam, lParam);
    }
}

LRESULT MainWindow::OnCopyData(LPARAM lParam) {
    // A run nobody watches takes nothing more: the next window is asked.
    if (commandLine.Unattended()) return FALSE;
    // A portable copy's files stay with it, and an installed copy's with it.
    HandOver handOver;
    if (!UnpackHandOver(reinterpret_cast<const COPYDATASTRUCT*>(lParam), handOver) ||
        StoragePlaceKey(storagePlace) != handOver.placeKey) {
        return FALSE;
    }
    // A job's files go only to a window of that job.
    if (!handOver.job.IsEmpty() && FoldNameCase(handOver.job) != FoldNameCase(jobs.Current())) return FALSE;
    // Added once the sender has its answer, so that it never waits for the search of a large folder.
    handedOver.insert(handedOver.end(), handOver.paths.begin(), handOver.paths.end());
    PostMessageW(handle, kAddHandedOverMessage, 0, 0);
    return TRUE;
}

void MainWindow::StartUnattended() {
    TimingMark("unattended start");
    if (!unattended.Blocked() && !commandLine.planFile.IsEmpty()) {
        // /plan: the run written out, nothing run.
        VQWString error;
        bool written = WritePlan(PlanOfFields(), commandLine.planFile.Text(), error);
        unattended.EndPlan(written, commandLine.planFile, targetModel.GetCount(), error);
    } else if (unattended.Blocked()) {
        unattended.EndBlocked();
    } else {
        unattended.RunStarting();
        RunOrStop();
        if (showOnceRunning >= 0) ShowWindow(handle, showOnceRunning);
        // Its end is taken with the run's (OnTimer).
        if (unattended.RunStarted(runController.State() != RunState::Idle)) return;
    }
    PostMessageW(handle, WM_CLOSE, 0, 0);
}

void MainWindow::CheckUnattendedEnd() {
    // Once the run's end is taken (marks, the list, the results file, its
    // error box, answered by itself): only then is it over here.
    if (!unattended.Running() || runController.State() != RunState::Idle || !runController.HasRunEnded()) return;
    TimingMark("unattended end seen");
    unattended.EndRun(RunEndOf(runController.Runner()));
    PostMessageW(handle, WM_CLOSE, 0, 0);
}
