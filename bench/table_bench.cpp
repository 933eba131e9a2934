// A million entries in the real main window:
//  list   a list file of a million lines (paths of about 80 characters, a
//         thousand files to a folder, every one on the disk) added as the
//         List add button adds it, then the same file once more (nothing
//         new: the duplicate rule is exact); the bytes an entry is held in;
//         the table sorted by name and by result; the whole-list check a run
//         begins with (goals: 5 s, well under 1 GB, 2 s, 5 s);
//  start  the real Quenbrix.exe started with a kept list of a million
//         entries, until its window answers and shows the count (goal 2 s).
//   table_bench.exe list [files] [folder]   (folder: where the files are made, kept there for the next time)
//   table_bench.exe start [entries] [rounds]
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench/bench_child.h"
#include "bench/bench_clock.h"
#include "bench/bench_entries.h"
#include "engine/job_check.h"
#include "settings/kept_list.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_queries.h"

namespace {

// Memory the process has committed for itself.
size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // Wine leaves PrivateUsage at 0; the commit charge is the same figure there.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

std::wstring FolderOf(const std::wstring& root, int i) {
    wchar_t name[32];
    wsprintfW(name, L"\\フォルダ %04d", i / 1000);
    return root + name;
}

// About 80 characters with a temporary folder's path in front.
std::wstring FileOf(const std::wstring& root, int i) {
    wchar_t name[64];
    wsprintfW(name, L"\\IMG_%07d_holiday.jpg", i);
    return FolderOf(root, i) + name;
}

bool MakeFiles(const std::wstring& root, int count) {
    CreateDirectoryW(root.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        if (i % 1000 == 0) CreateDirectoryW(FolderOf(root, i).c_str(), nullptr);
        std::wstring path = FileOf(root, i);
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            return false;
        }
        CloseHandle(h);
    }
    return true;
}

bool WriteUnits(const std::wstring& path, const std::wstring& text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(h);
    return ok && written == text.size() * sizeof(wchar_t);
}

// (c) The check a run begins with, on the whole list as the window hands it
// over; true when a goal was missed.
bool TimeChecks(MainWindow& window, const std::wstring& root) {
    bool missed = false;
    double t3 = Seconds();
    std::vector<RunTarget> targets = window.RunTargetsFromList();
    double listed = Seconds() - t3;
    VQWString directory(root.c_str());
    struct Check {
        const wchar_t* what;
        const wchar_t* pre;
        const wchar_t* command;
        const wchar_t* output;
    } checks[] = {
        {L"a command", L"", L"convert.exe \"$path\" \"$dir$stem.webp\"", L""},
        {L"a pre-command and a command", L"cmd /c mkdir \"$dir\\out\"", L"convert.exe \"$path\" \"$dir\\out\\$title.webp\"",
         L""},
    };
    for (const Check& check : checks) {
        double start = Seconds();
        VQTemplateCheck result =
            CheckJob(VQWString(check.pre), VQWString(check.command), VQWString(check.output), targets, directory, false);
        double seconds = Seconds() - start;
        printf("(c) the check of %zu targets, %ls: %.2f s (the run's targets made in %.2f s more; goal < 5 s), %s\n",
               targets.size(), check.what, seconds, listed, result.failedIndex < 0 ? "passed" : "failed");
        missed = missed || seconds + listed >= 5;
    }
    return missed;
}

int ListBench(int files, const std::wstring& folder) {
    TempDir dir;
    std::wstring root = folder.empty() ? dir.Join(L"archive") : folder;
    double t0 = Seconds();
    if (!MakeFiles(root, files)) {
        printf("could not make the files\n");
        return 2;
    }
    printf("%d files in place in %.1f s\n", files, Seconds() - t0);
    std::wstring text = L"\xFEFF";
    size_t units = 0;
    for (int i = 0; i < files; ++i) {
        std::wstring path = FileOf(root, i);
        units += path.size();
        text += path;
        text += L"\r\n";
    }
    std::wstring listFile = dir.Join(L"list.txt");
    if (!WriteUnits(listFile, text)) {
        printf("could not write the list file\n");
        return 2;
    }
    std::wstring().swap(text);
    printf("list file: %d lines, %.1f characters a path\n", files, static_cast<double>(units) / files);

    MainWindow window(GetModuleHandleW(nullptr));
    VQWin32SetMainWindow(&window);
    window.registryKey = "Software\\QuenbrixBench";
    window.dataFolder = VQWString();  // no kept list: the list file alone
    JobSettings settings = {};
    VQWin32DialogWindowCreateInfo* info =
        MakeMainPanelCreateInfo(settings, SW_SHOWNOACTIVATE, window.instance, window.Table());
    if (!window.Open(info)) {
        printf("could not open the window\n");
        return 2;
    }
    delete info;
    bool missed = false;

    // (a) The list file as List add adds it, and (d) what the entries hold.
    size_t before = PrivateBytes();
    double t1 = Seconds();
    window.AddListFile(listFile.c_str());
    double added = Seconds() - t1;
    size_t after = PrivateBytes();
    int count = window.Targets().GetCount();
    printf("(a) list file of %d lines added: %.2f s, %d entries (goal <= 5 s)\n", files, added, count);
    printf("(d) held: %.0f MiB, %.0f bytes an entry\n", static_cast<double>(after - before) / 1048576.0,
           static_cast<double>(after - before) / count);
    if (count != files) {
        printf("%d entries, not %d\n", count, files);
        return 2;
    }
    missed = missed || added > 5;
    double t2 = Seconds();
    window.AddListFile(listFile.c_str());
    printf("(a) the same list file again: %.2f s, still %d entries\n", Seconds() - t2, window.Targets().GetCount());
    if (window.Targets().GetCount() != files) return 2;

    missed = TimeChecks(window, root) || missed;

    // (b) Sorting by name, then by result after a run took the whole list.
    for (bool descending : {false, true}) {
        double start = Seconds();
        window.Table().Sort(TargetColumn::Name, descending);
        double seconds = Seconds() - start;
        printf("(b) sorted by 名前%s: %.2f s (goal <= 2 s)\n", descending ? " (reversed)" : "", seconds);
        missed = missed || seconds > 2;
    }
    TargetListModel& model = window.Targets();
    model.BeginRun(nullptr);
    for (int i = 0; i < model.RunCount(); ++i) {
        if (i % 5 == 4) continue;  // not reached
        EntryResult result;
        result.status = i % 11 == 0 ? TargetStatus::NonZeroExit : i % 17 == 0 ? TargetStatus::Stopped : TargetStatus::Done;
        model.SetRunResult(i, result);
    }
    for (bool descending : {false, true}) {
        double start = Seconds();
        window.Table().Sort(TargetColumn::Status, descending);
        double seconds = Seconds() - start;
        printf("(b) sorted by 状態%s: %.2f s (goal <= 2 s)\n", descending ? " (reversed)" : "", seconds);
        missed = missed || seconds > 2;
    }
    if (model.StatusOf(0) != TargetStatus::Done) {
        printf("the sort by result left no done entry first\n");
        return 2;
    }
    {
        double start = Seconds();
        window.Table().Sort(TargetColumn::Number, false);
        printf("    sorted by # back to the order of adding: %.2f s\n", Seconds() - start);
    }

    DestroyWindow(window.handle);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuenbrixBench");
    return missed ? 1 : 0;
}

std::wstring ProgramPath() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring path(module, n);
    return path.substr(0, path.rfind(L'\\') + 1) + L"..\\Quenbrix.exe";
}

std::wstring RemoteText(HWND hwnd) {
    wchar_t text[256] = {};
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 10000, &got)) {
        return std::wstring();
    }
    return text;
}

// One start of the program on the data folder; the seconds until the frame
// is there, until it answers, until the count is shown under the table (an
// empty count: until it answers). False when it did
// not come up within a minute.
bool TimeStart(const std::wstring& appData, const std::wstring& count, double seconds[3]) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.c_str());
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    HWND frame = nullptr, panel = nullptr;
    seconds[0] = seconds[1] = seconds[2] = -1;
    bool shown = false;
    while (Seconds() - start < 60) {
        if (!frame && (frame = FindProcessWindow(process.dwProcessId, L"Quenbrix")) != nullptr) {
            seconds[0] = Seconds() - start;
        }
        if (frame && !panel) panel = FindWindowExW(frame, nullptr, L"#32770", nullptr);
        if (panel) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(panel, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) && seconds[1] < 0) {
                seconds[1] = Seconds() - start;
            }
            std::wstring label = RemoteText(GetDlgItem(panel, IDC_TABLE_STATUS));
            if (count.empty() ? seconds[1] >= 0 : label.find(count) != std::wstring::npos) {
                seconds[2] = Seconds() - start;
                shown = true;
                break;
            }
        }
        Sleep(5);
    }
    CloseStarted(frame, process);
    return shown;
}

int StartBench(int entries, int rounds) {
    TempDir appData;
    std::wstring quenbrix = appData.MakeDir(L"Quenbrix");
    TempDir emptyData;
    emptyData.MakeDir(L"Quenbrix");
    WriteKeptArchive(quenbrix, entries, true);
    wchar_t count[32];
    int digits = wsprintfW(count, L"%d", entries);
    std::wstring grouped;
    for (int i = 0; i < digits; ++i) {
        if (i > 0 && (digits - i) % 3 == 0) grouped += L',';
        grouped += count[i];
    }
    grouped += L" 件";
    bool missed = false;
    for (int round = 0; round < rounds; ++round) {
        double empty[3], full[3];
        if (!TimeStart(emptyData.Path(), std::wstring(), empty) || !TimeStart(appData.Path(), grouped, full)) {
            printf("the program did not come up\n");
            return 2;
        }
        printf("round %d: empty list: window %.2f s, answering %.2f s, count %.2f s; "
               "%d kept entries: window %.2f s, answering %.2f s, count %.2f s (goal <= 2 s)\n",
               round + 1, empty[0], empty[1], empty[2], entries, full[0], full[1], full[2]);
        missed = missed || full[2] > 2;
    }
    return missed ? 1 : 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring mode = argc > 1 ? argv[1] : L"list";
    if (mode == L"start") {
        return StartBench(argc > 2 ? _wtoi(argv[2]) : 1000000, argc > 3 ? _wtoi(argv[3]) : 3);
    }
    return ListBench(argc > 2 ? _wtoi(argv[2]) : 1000000, argc > 3 ? std::wstring(argv[3]) : std::wstring());
}
