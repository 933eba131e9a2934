// The window during a big run: the real main window holding a kept list of
// N entries runs a child that does nothing (this program again), 4 at once.
// A second thread sends the window WM_NULL again and again and times each
// answer (goal: within 0.1 s), then presses 停止 and times until the caption
// says 停止中 (goal: within 1 s) and until the run's end is shown.
//   window_run_bench.exe [entries ...] [-s SECONDS] [-p PARALLEL] [-nofollow] [-tall]
//   (entries 20000 200000 by default; SECONDS of the run before 停止, 10). A window
// of a thread of its own that does nothing is probed alike: what the machine
// itself delays an answer by. With -nofollow a row is chosen as the run
// starts, which ends the table's following of the run (its scrolls); with
// -tall the window opens 940 pixels high (the place a user left it in).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench/bench_child.h"
#include "bench/bench_clock.h"
#include "bench/bench_entries.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timer_script.h"
#include "tests/support/window_queries.h"

namespace {

struct Probe {
    HWND frame = nullptr;
    HWND idle = nullptr;  // a window of a thread of its own that does nothing: the machine's own delays
    HWND panel = nullptr;
    double runSeconds = 10;
    std::vector<double> replies;  // seconds each WM_NULL took to come back
    std::vector<double> sentAt;   // and when it was sent, from the run's start
    std::vector<double> idleReplies;
    double stopPressed = 0;       // when 停止 was posted
    double stopShown = -1;        // seconds from then until the caption said 停止中
    std::atomic<bool> stopSent{false};
    std::atomic<bool> quit{false};
};

bool CaptionSaysStopping(HWND frame) {
    wchar_t caption[512] = {};
    // Read without a message: the caption as the window last set it.
    InternalGetWindowText(frame, caption, 512);
    return wcsstr(caption, L"停止中") != nullptr;
}

DWORD WINAPI ProbeMain(void* param) {
    Probe& probe = *static_cast<Probe*>(param);
    double start = Seconds();
    while (!probe.quit && Seconds() - start < probe.runSeconds) {
        double sent = Seconds();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(probe.frame, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result)) break;
        probe.replies.push_back(Seconds() - sent);
        probe.sentAt.push_back(sent - start);
        sent = Seconds();
        if (SendMessageTimeoutW(probe.idle, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result)) {
            probe.idleReplies.push_back(Seconds() - sent);
        }
        Sleep(20);
    }
    if (probe.quit) return 0;
    // 停止 as a click on it comes: the button's notice in the panel's queue.
    probe.stopPressed = Seconds();
    PostMessageW(probe.panel, WM_COMMAND, MAKEWPARAM(IDC_RUN_BUTTON, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(probe.panel, IDC_RUN_BUTTON)));
    probe.stopSent = true;
    while (!probe.quit && Seconds() - probe.stopPressed < 120) {
        if (CaptionSaysStopping(probe.frame)) {
            probe.stopShown = Seconds() - probe.stopPressed;
            break;
        }
        Sleep(1);
    }
    return 0;
}

// Every box the window's thread shows is answered: はい to the question
// before the run (every line is the same but for the file's own path), OK
// to a message after it (a child Wine could not start).
int gBoxesAnswered = 0;
bool AnswerEveryBox() {
    if (HWND box = FindThreadWindow(L"VQMsgBox")) {
        bool question = WindowText(box) == L"確認";
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(question ? IDYES : IDOK, BN_CLICKED), 0);
        if (!question) ++gBoxesAnswered;
    }
    return false;  // tried again at every tick
}

DWORD WINAPI IdleMain(void* param) {
    HWND* idle = static_cast<HWND*>(param);
    *idle = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (*idle) DestroyWindow(*idle);
    return 0;
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    size_t at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

void SetText(wchar_t* buffer, size_t size, const std::wstring& text) {
    lstrcpynW(buffer, text.c_str(), static_cast<int>(size));
}

// What one run measured, as README quotes it.
void PrintMeasures(const Probe& probe, int entries, int parallel, bool follow, int rows, double started,
                   int finishedAtStop, double runBegan, double ended) {
    double median = Percentile(probe.replies, 0.5), worst = Percentile(probe.replies, 1.0);
    printf("%d entries, %d at once%s, %d rows in view: run started in %.2f s (the check and its question included); "
           "in %.1f s of the run %d files finished (%.1f a second)\n",
           entries, parallel, follow ? "" : ", not followed", rows, started, probe.runSeconds, finishedAtStop,
           finishedAtStop / (probe.stopPressed - runBegan));
    size_t worstAt = std::max_element(probe.replies.begin(), probe.replies.end()) - probe.replies.begin();
    printf("  the window answered %zu probes: median %.3f s, 90 %% %.3f s, worst %.3f s, %.1f s into the run "
           "(goal: within 0.1 s)\n",
           probe.replies.size(), median, Percentile(probe.replies, 0.9), worst,
           probe.sentAt.empty() ? 0.0 : probe.sentAt[worstAt]);
    int slow = 0;
    for (size_t i = 0; i < probe.replies.size(); ++i) {
        if (probe.replies[i] < 0.05) continue;
        if (slow++ == 0) printf("  answers of 50 ms or more (s into the run: s):");
        printf(" %.1f: %.3f", probe.sentAt[i], probe.replies[i]);
    }
    if (slow > 0) printf("\n");
    printf("  beside it, a window of a thread that does nothing: median %.3f s, worst %.3f s "
           "(the machine's own delays)\n",
           Percentile(probe.idleReplies, 0.5), Percentile(probe.idleReplies, 1.0));
    printf("  停止 to 停止中 shown: %.3f s (goal: within 1 s); to the run's end shown: %.2f s%s\n", probe.stopShown,
           ended, gBoxesAnswered > 0 ? " (a message after the run was answered)" : "");
}

// One run beside `entries` kept entries; false when it could not be measured.
bool gTall = false;

bool Measure(int entries, double runSeconds, int parallel, bool follow, bool& missed) {
    TempDir appData;
    std::wstring quenbrix = appData.MakeDir(L"Quenbrix");
    if (!WriteKeptArchive(quenbrix, entries, true)) {
        printf("the kept list was not made\n");
        return false;
    }
    MainWindow window(GetModuleHandleW(nullptr));
    VQWin32SetMainWindow(&window);
    window.registryKey = "Software\\QuenbrixBench";
    if (gTall) {
        RECT place = {40, 40, 940, 980};
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\QuenbrixBench", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "ClientRect", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&place), sizeof place);
            RegCloseKey(key);
        }
        window.savePlacement = 1;
    }
    window.dataFolder = VQWString(quenbrix.c_str());
    window.Keeper().SetBackgroundBytes(static_cast<size_t>(-1));  // in before the window shows
    JobSettings settings = {};
    SetText(settings.command, JobSettings::kCommandLimit + 1, SelfCommand(L"child-noop \"$fullname\""));
    settings.deleteFinished = 0;
    settings.hideCommand = 1;
    settings.parallel = static_cast<DWORD>(parallel);
    settings.onFailure = 1;  // a child Wine fails to start now and then ends nothing
    settings.checkOutput = 1;
    VQWin32DialogWindowCreateInfo* info =
        MakeMainPanelCreateInfo(settings, SW_SHOWNOACTIVATE, window.instance, window.Table());
    bool opened = window.Open(info);
    delete info;
    if (!opened || window.Targets().GetCount() != entries) {
        printf("the window did not open with %d entries\n", entries);
        return false;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);

    TimerScript script(50);
    script.Then(AnswerEveryBox);
    script.Start();
    gBoxesAnswered = 0;
    double begin = Seconds();
    window.RunOrStop();
    double started = Seconds() - begin;
    if (window.RunControl().State() != RunState::Running) {
        printf("the run did not start\n");
        DestroyWindow(window.handle);
        return false;
    }
    if (!follow) {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(GetDlgItem(window.dialogHandle, IDC_TARGET_LIST), LVM_SETITEMSTATE, 0,
                     reinterpret_cast<LPARAM>(&item));
    }
    int rows = static_cast<int>(SendMessageW(GetDlgItem(window.dialogHandle, IDC_TARGET_LIST), LVM_GETCOUNTPERPAGE, 0, 0));
    Probe probe;
    probe.frame = window.handle;
    probe.panel = window.dialogHandle;
    probe.runSeconds = runSeconds;
    DWORD idleThreadId = 0;
    HANDLE idleThread = CreateThread(nullptr, 0, IdleMain, &probe.idle, 0, &idleThreadId);
    while (!probe.idle) Sleep(1);
    HANDLE thread = CreateThread(nullptr, 0, ProbeMain, &probe, 0, nullptr);
    int finishedAtStop = -1;
    double ended = -1;
    double runBegan = Seconds();
    while (Seconds() - runBegan < runSeconds + 600) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (probe.stopSent && finishedAtStop < 0) finishedAtStop = window.RunControl().Runner().GetFinishedCount();
        if (probe.stopSent && window.RunControl().State() == RunState::Idle) {
            ended = Seconds() - probe.stopPressed;
            break;
        }
    }
    probe.quit = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    PostThreadMessageW(idleThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(idleThread, INFINITE);
    CloseHandle(idleThread);
    for (int i = 0; i < 10; ++i) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(20);
    }
    DestroyWindow(window.handle);
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    VQWin32SetMainWindow(nullptr);

    PrintMeasures(probe, entries, parallel, follow, rows, started, finishedAtStop, runBegan, ended);
    double median = Percentile(probe.replies, 0.5), worst = Percentile(probe.replies, 1.0);
    missed = missed || median > 0.1 || worst > 0.1 || probe.stopShown < 0 || probe.stopShown > 1;
    return ended >= 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc > 1 && wcscmp(argv[1], L"child-noop") == 0) return 0;
    std::vector<int> sizes;
    double runSeconds = 10;
    int parallel = 4;
    bool follow = true;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"-s") == 0 && i + 1 < argc) {
            runSeconds = _wtof(argv[++i]);
        } else if (wcscmp(argv[i], L"-p") == 0 && i + 1 < argc) {
            parallel = std::max(1, std::min(_wtoi(argv[++i]), static_cast<int>(BatchRunner::kMaxParallel)));
        } else if (wcscmp(argv[i], L"-nofollow") == 0) {
            follow = false;
        } else if (wcscmp(argv[i], L"-tall") == 0) {
            gTall = true;
        } else if (_wtoi(argv[i]) > 0) {
            sizes.push_back(_wtoi(argv[i]));
        }
    }
    if (sizes.empty()) sizes = {20000, 200000};
    bool missed = false;
    for (int entries : sizes) {
        if (!Measure(entries, runSeconds, parallel, follow, missed)) return 2;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    return missed ? 1 : 0;
}
