// The entry function: reads the command line, hands targets to a window that
// is open, or builds the main window from the registry settings, runs the
// message loop and ends with the loop's result (an unattended start: its
// exit code, after its report went to the console).
#include <windows.h>

#include <new>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/unattended_start.h"
#include "base/log.h"
#include "base/timing_log.h"
#include "settings/job_store.h"
#include "settings/settings_store.h"
#include "win32/dpi.h"
#include "win32/message_box.h"
#include "win32/monitor.h"

namespace {

// The usage, on the console of whoever started the program, or in a box.
void ShowUsage() {
    if (WriteToParentConsole(VQWString(kUsageText))) return;
    MsgBox(nullptr, kUsageText, L"Quenbrix", VQMB_OK, 1);
}

int BadArguments(const CommandLine& line) {
    if (line.Unattended()) {
        WriteToParentConsole(VQWString().Format(L"Quenbrix: bad arguments: %s\n", line.error.Text()));
    } else {
        VQWString text;
        text.Format(L"%s\n\n「Quenbrix.exe /?」で使い方を表示します。", line.error.Text());
        MsgBox(nullptr, text.Text(), L"エラー", VQMB_OK, 1);
    }
    return kExitBadArguments;
}

// Send To, a drop on the icon and Explorer's menu while a window is open:
// the targets go to it, as a drop would. Explorer starts one process per
// selected file, all at once: they pass the gate one at a time, and the
// first opens the window that the others hand theirs to (it holds the gate
// until its job is loaded).
bool HandedOver(const CommandLine& commandLine, HandOverGate& gate) {
    if ((!commandLine.OnlyPaths() && !commandLine.JobAndPaths()) || !commandLine.settingsFiles.empty()) return false;
    std::vector<VQWString> paths = commandLine.targets;
    paths.insert(paths.end(), commandLine.missing.begin(), commandLine.missing.end());
    StoragePlace place = CurrentStoragePlace();
    bool handedOver = HandOverToOpenWindow(paths, place, commandLine.job);
    if (!handedOver) {
        gate.Enter(place, commandLine.job);
        handedOver = HandOverToOpenWindow(paths, place, commandLine.job);
    }
    TimingMark("hand-over look-up");
    return handedOver;
}

// How the window first shows. Nothing of /plan is to be seen, and the first
// command of /run starts before its window is drawn; a watch refused ends
// without a window, its reason on the console.
int FirstShow(const CommandLine& commandLine, MainWindow& window, int showCommand) {
    if (commandLine.Unattended()) {
        if (commandLine.planFile.IsEmpty()) window.showOnceRunning = showCommand;
        return SW_HIDE;
    }
    if (commandLine.watch) {
        window.showOnceWatching = showCommand;
        return SW_HIDE;
    }
    return showCommand;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    TimingLogFromEnvironment();
    TimingMark("main begins");
    // The whole line, not wWinMain's: it still holds the program's own path,
    // which the splitting rules treat apart.
    CommandLine commandLine = ParseCommandLine(GetCommandLineW());
    if (!commandLine.error.IsEmpty()) return BadArguments(commandLine);
    if (commandLine.usage) {
        ShowUsage();
        return 0;
    }
    // Before anything asks where things are kept.
    if (commandLine.portable) RequestPortableMode();
    if (!commandLine.job.IsEmpty()) {
        VQWString error;
        if (!FindJob(commandLine.job, commandLine.jobPath, error)) {
            commandLine.error = error;
            return BadArguments(commandLine);
        }
    }
    SortPaths(commandLine);
    TimingMark("command line read");
    HandOverGate gate;
    if (HandedOver(commandLine, gate)) return 0;

    MainWindow* window = new (std::nothrow) MainWindow(instance);
    if (!window) return -1;
    window->commandLine = commandLine;
    window->startGate = &gate;
    VQWin32SetMainWindow(window);
    window->registryKey = "Software\\velqo\\Quenbrix";
    window->savePlacement = 1;
    // Nothing waits for a person: every box is answered by its default and
    // its text goes to the report.
    if (commandLine.Unattended()) {
        SetMsgBoxUnattended([window](const wchar_t* text, const wchar_t*, int) { window->Unattended().NoteBox(text); });
    }

    JobSettings settings;
    window->LoadRegistrySettings(settings);
    TimingMark("settings read");
    showCommand = FirstShow(commandLine, *window, showCommand);
    VQWin32DialogWindowCreateInfo* info = MakeMainPanelCreateInfo(settings, showCommand, instance, window->Table());
    // Without a saved place the window opens as high as the screen leaves,
    // so the table gets the height the panel does not need.
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, info->style, FALSE, info->exStyle);
    info->rect = DefaultClientRect(WorkAreaOf(RECT{0, 0, 1, 1}), VQWin32GetWindowDpi(nullptr), frame);
    TimingMark("window opens");
    if (!window->Open(info)) {
        delete info;
        return -2;
    }
    delete info;
    TimingMark("window open");
    int result = window->Run(0);
    TimingMark("message loop ended");
    if (commandLine.Unattended()) {
        result = window->Unattended().ExitCode();
        WriteToParentConsole(window->Unattended().Report());
        SetMsgBoxUnattended(nullptr);
    }
    if (!window->WatchRefusalText().IsEmpty()) {
        WriteToParentConsole(VQWString().Format(L"Quenbrix: %s\n", window->WatchRefusalText().Text()));
        result = kExitNotStarted;
    }
    delete window;
    TimingMark("window deleted");
    VQWin32SetMainWindow(nullptr);
    vqLog.Close();
    TimingMark("exit");
    return result;
}
