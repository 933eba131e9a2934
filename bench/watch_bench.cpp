// Watched folders (監視), in two figures:
//   - the delay from a file's last write to its command's start, with the
//     default settle time (3 s): files written one at a time, each after the
//     run of the one before, then a burst written at once. The command is
//     this program again ("child-stamp FILE"), writing the time it started.
//   - the cost of watching a tree of 100,000 files while nothing changes:
//     once the start listing is over, the CPU time spent in 30 s and the
//     memory held.
// Each is measured twice: with the window's watcher in this process (ticked
// every 100 ms as the window's timer does, the host noting when a run is
// asked for: the watch's own delay, no process start), and with
// `Quenbrix.exe job.ini /watch`, whose process is looked at from here.
// Goals: a start at most 1 s after the settle time; while nothing changes
// under 1% of one core (taken as "no CPU") and under 100 MiB private bytes.
//
//   watch_bench.exe [all|inproc|exe] [files] [burst] [tree folder] [Quenbrix.exe]
// (default: all, 20 files, a burst of 200, build\watch-tree made once and
// kept, build\Quenbrix.exe; "0 0" files measures the idle cost alone;
// bench/watch.sh runs it in the benches' prefix).
// Exit code 1 when a goal is missed, 2 when a side did not run.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/folder_watcher.h"
#include "bench/bench_child.h"
#include "bench/bench_clock.h"
#include "tests/support/temp_dir.h"

namespace {

const double kSettle = 3.0;
const int kTreeFolders = 400;
const int kTreeFilesEach = 250;
const DWORD kIdleMs = 30000;

std::wstring ModuleFolder() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring path(module, n);
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

bool WriteSmall(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

// The command of a watched file: the performance counter, one clock for
// every process of the machine, when it began.
int ChildStamp(const wchar_t* file) {
    double now = Seconds();
    char text[64];
    int n = snprintf(text, sizeof text, "%.6f", now);
    return WriteSmall(file, std::string(text, n)) ? 0 : 1;
}

double ReadStamp(const std::wstring& file) {
    std::string text = TempDir::ReadWholeFile(file);
    return text.empty() ? -1 : atof(text.c_str());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

double Worst(const std::vector<double>& values) {
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

double FileTimeSeconds(const FILETIME& time) {
    return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

struct Usage {
    double cpu = 0;  // kernel and user seconds so far
    double privateMiB = 0;
    double workingMiB = 0;
    double peakWorkingMiB = 0;
    double residentMiB = -1;  // Linux's own count of the Wine process (VmRSS), where there is one
};

Usage UsageOf(HANDLE process) {
    Usage usage;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        usage.cpu = FileTimeSeconds(kernel) + FileTimeSeconds(user);
    }
    // The commit charge, which Windows gives as PrivateUsage too; Wine fills only this one.
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) {
        usage.privateMiB = memory.PagefileUsage / 1048576.0;
        usage.workingMiB = memory.WorkingSetSize / 1048576.0;
        usage.peakWorkingMiB = memory.PeakWorkingSetSize / 1048576.0;
    }
    return usage;
}

// A file of Linux's /proc, read through Wine's drive Z: (its size is told as 0).
std::string ReadProcFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

// The /proc folder of the Linux process whose command line holds `marker`,
// or empty (not under Wine, or not found).
std::wstring ProcFolderOf(const std::wstring& marker) {
    std::string wanted = Encoded(marker, CP_UTF8);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return std::wstring();
    std::wstring result;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') continue;
        std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
        std::string line = ReadProcFile(folder + L"\\cmdline");
        std::replace(line.begin(), line.end(), '\0', ' ');
        if (line.find(wanted) != std::string::npos) result = folder;
    } while (result.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

// Under Wine GetProcessTimes of another process does not move: the times
// come from Linux (utime and stime, in its ticks of 10 ms) instead.
void AddProcUsage(const std::wstring& folder, Usage& usage) {
    std::string stat = ReadProcFile(folder + L"\\stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) return;
    std::vector<std::string> fields;
    for (size_t at = close + 2; at < stat.size();) {
        size_t end = stat.find(' ', at);
        if (end == std::string::npos) end = stat.size();
        fields.push_back(stat.substr(at, end - at));
        at = end + 1;
    }
    // From the state on: utime and stime are the 12th and 13th.
    if (fields.size() > 12) usage.cpu = (atof(fields[11].c_str()) + atof(fields[12].c_str())) / 100;
    std::string status = ReadProcFile(folder + L"\\status");
    size_t rss = status.find("VmRSS:");
    if (rss != std::string::npos) usage.residentMiB = atof(status.c_str() + rss + 6) / 1024;
}

// One watching side, seen from the writer of the files.
class Side {
public:
    virtual ~Side() = default;
    // Lets ms pass, the side doing its work meanwhile.
    virtual void Pass(DWORD ms) = 0;
    // When the command of the file named `name` started, or -1 while it has not.
    virtual double StartOf(const std::wstring& name) = 0;
    virtual Usage Now() = 0;
};

// The window's watcher in this process, its host noting when a run is asked for.
class InProcessSide : public Side, private WatchHost {
public:
    bool Start(const std::wstring& folder, bool existing) {
        WatchRequest request;
        request.folders = folder.c_str();
        request.command = L"-";
        request.existing = existing;
        VQWString error;
        if (watcher.Start(request, error)) return true;
        fprintf(stderr, "the watcher did not start: %ls\n", error.Text());
        return false;
    }
    void Pass(DWORD ms) override {
        DWORD start = GetTickCount();
        do {
            watcher.Tick(GetTickCount());
            if (!ran.empty()) {
                watcher.RunEnded(ran, {}, {});
                ran.clear();
            }
            Sleep(100);
        } while (GetTickCount() - start < ms);
    }
    double StartOf(const std::wstring& name) override {
        auto found = started.find(name);
        return found == started.end() ? -1 : found->second;
    }
    Usage Now() override { return UsageOf(GetCurrentProcess()); }

private:
    bool WatchCanRun() override { return true; }
    bool RunWatchedFiles(const std::vector<WatchedFile>& files) override {
        double now = Seconds();
        for (const WatchedFile& file : files) {
            started[NameOf(file.path.Text())] = now;
            ran.push_back(file.path);
        }
        return true;
    }

    FolderWatcher watcher{*this};
    std::map<std::wstring, double> started;
    std::vector<VQWString> ran;
};

// `Quenbrix.exe job.ini /watch` with a data folder of its own; its command
// stamps the start of each file's command into a folder beside.
class ExeSide : public Side {
public:
    ~ExeSide() override {
        if (process.hProcess) CloseStarted(frame, process);
    }
    // folder empty: a plain start of the same job, without watching.
    bool Start(const std::wstring& quenbrix, const std::wstring& folder, bool existing) {
        stamps = dir.MakeDir(L"stamps");
        std::wstring job = L"[Quenbrix]\r\nCommand = " + SelfCommand(L"child-stamp \"" + stamps + L"\\$name\"") +
                           L"\r\nHideCommand = 1\r\n";
        if (!folder.empty()) job += L"Watch = " + folder + L"\r\n";
        if (!existing) job += L"WatchExisting = 0\r\n";
        std::wstring jobPath = dir.WriteFile(L"job.ini", Utf16File(job));
        std::wstring data = dir.MakeDir(L"data");
        SetEnvironmentVariableW(L"LOCALAPPDATA", data.c_str());
        SetEnvironmentVariableW(L"APPDATA", data.c_str());
        std::wstring line = Quoted(quenbrix) + L" " + Quoted(jobPath) + (folder.empty() ? L"" : L" /watch");
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(), &startup,
                            &process)) {
            fprintf(stderr, "did not start (%lu): %ls\n", GetLastError(), line.c_str());
            process = PROCESS_INFORMATION{};
            return false;
        }
        // Watching once the caption says so; a plain start once its window shows.
        for (double start = Seconds(); Seconds() - start < 60; Sleep(50)) {
            DWORD code = STILL_ACTIVE;
            if (GetExitCodeProcess(process.hProcess, &code) && code != STILL_ACTIVE) {
                fprintf(stderr, "Quenbrix.exe ended with exit code %lu\n", code);
                return false;
            }
            if (!frame) frame = FrameOf(process.dwProcessId);
            wchar_t caption[512] = L"";
            bool ready = frame && (folder.empty() ? IsWindowVisible(frame) != FALSE
                                                  : GetWindowTextW(frame, caption, 512) && wcsstr(caption, L"監視中"));
            if (ready) {
                procFolder = ProcFolderOf(jobPath);
                if (procFolder.empty()) fprintf(stderr, "no Linux process found: CPU times from Windows\n");
                return true;
            }
        }
        fprintf(stderr, "Quenbrix.exe: %ls within 60 s\n", folder.empty() ? L"no window" : L"no 監視中 in its caption");
        return false;
    }
    void Pass(DWORD ms) override { Sleep(ms); }
    double StartOf(const std::wstring& name) override { return ReadStamp(stamps + L"\\" + name); }
    Usage Now() override {
        Usage usage = UsageOf(process.hProcess);
        if (!procFolder.empty()) AddProcUsage(procFolder, usage);
        return usage;
    }

private:
    static HWND FrameOf(DWORD processId) {
        for (HWND w = FindWindowExW(nullptr, nullptr, L"Quenbrix", nullptr); w;
             w = FindWindowExW(nullptr, w, L"Quenbrix", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == processId) return w;
        }
        return nullptr;
    }

    TempDir dir;
    std::wstring stamps;
    PROCESS_INFORMATION process = {};
    HWND frame = nullptr;
    std::wstring procFolder;
};

struct Delays {
    std::vector<double> spaced;  // start - last write, a file each
    std::vector<double> burst;
    double burstFirst = -1;      // the burst's first start after its last write
    double burstAll = -1;        // and its last start
    int missing = 0;
};

Delays MeasureDelays(Side& side, const std::wstring& folder, int spacedFiles, int burstFiles) {
    Delays delays;
    for (int i = 0; i < spacedFiles; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"spaced%03d.txt", i);
        WriteSmall(folder + L"\\" + name, "one file");
        double written = Seconds();
        double started = -1;
        while (started < 0 && Seconds() - written < 30) {
            side.Pass(20);
            started = side.StartOf(name);
        }
        if (started < 0) {
            ++delays.missing;
        } else {
            delays.spaced.push_back(started - written);
        }
        // The run ends before the next file comes, so each file settles alone.
        side.Pass(1000);
    }
    std::vector<std::pair<std::wstring, double>> written;
    for (int i = 0; i < burstFiles; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"burst%03d.txt", i);
        WriteSmall(folder + L"\\" + name, "one of a burst");
        written.emplace_back(name, Seconds());
    }
    double last = written.empty() ? Seconds() : written.back().second;
    std::vector<double> starts(written.size(), -1);
    size_t done = 0;
    while (done < written.size() && Seconds() - last < 60 + 2.0 * burstFiles) {
        side.Pass(200);
        for (size_t i = 0; i < written.size(); ++i) {
            if (starts[i] >= 0) continue;
            starts[i] = side.StartOf(written[i].first);
            if (starts[i] >= 0) ++done;
        }
    }
    for (size_t i = 0; i < written.size(); ++i) {
        if (starts[i] < 0) {
            ++delays.missing;
            continue;
        }
        delays.burst.push_back(starts[i] - written[i].second);
        double after = starts[i] - last;
        if (delays.burstFirst < 0 || after < delays.burstFirst) delays.burstFirst = after;
        delays.burstAll = std::max(delays.burstAll, after);
    }
    return delays;
}

// The figures; true when the goal is met.
bool PrintDelays(const char* title, const Delays& d, int burstFiles) {
    printf("%s, settle %.0f s:\n", title, kSettle);
    printf("  %d files one at a time: median %.2f s, worst %.2f s after the last write\n",
           static_cast<int>(d.spaced.size()), Median(d.spaced), Worst(d.spaced));
    printf("  a burst of %d: the first started %.2f s after the burst's last write, the last %.2f s after;"
           " a file's delay median %.2f s, worst %.2f s\n",
           burstFiles, d.burstFirst, d.burstAll, Median(d.burst), Worst(d.burst));
    if (d.missing) printf("  %d files never started\n", d.missing);
    bool met = d.missing == 0 && Worst(d.spaced) <= kSettle + 1 && d.burstFirst <= kSettle + 1;
    printf("  goal: a start at most %.0f s after the last write: %s\n", kSettle + 1, met ? "met" : "missed");
    fflush(stdout);
    return met;
}

// 100,000 small files in a few hundred folders, made once: a tree without
// its mark "complete" beside it is made again.
bool MakeTree(const std::wstring& root, std::wstring& files) {
    files = root + L"\\files";
    std::wstring mark = root + L"\\complete";
    if (GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    double start = Seconds();
    TempDir::RemoveTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(files.c_str(), nullptr);
    for (int d = 0; d < kTreeFolders; ++d) {
        wchar_t sub[32];
        wsprintfW(sub, L"\\d%03d", d);
        std::wstring folder = files + sub;
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int f = 0; f < kTreeFilesEach; ++f) {
            wchar_t name[32];
            wsprintfW(name, L"\\f%06d.txt", d * kTreeFilesEach + f);
            if (!WriteSmall(folder + name, "a small file")) return false;
        }
    }
    printf("made %d files in %d folders in %.1f s\n", kTreeFolders * kTreeFilesEach, kTreeFolders,
           Seconds() - start);
    return WriteSmall(mark, "");
}

// The start listing is over once the process has used less than 5% of one
// core for 3 s on end: listing 100,000 files takes it whole.
double WaitQuiet(Side& side) {
    double start = Seconds();
    std::vector<double> cpu{side.Now().cpu};
    while (Seconds() - start < 600) {
        side.Pass(1000);
        cpu.push_back(side.Now().cpu);
        if (cpu.size() > 3 && cpu.back() - cpu[cpu.size() - 4] < 0.15) return Seconds() - start;
    }
    return -1;
}

// title: what was watched, for the figures' heading.
bool MeasureIdle(const char* title, Side& side, const Usage* before) {
    double quiet = WaitQuiet(side);
    Usage at = side.Now();
    double start = Seconds();
    side.Pass(kIdleMs);
    double seconds = Seconds() - start;
    Usage after = side.Now();
    double cpuMs = (after.cpu - at.cpu) * 1000;
    printf("%s:\n", title);
    printf("  quiet %.1f s after it was ready (3 s of quiet on end included)\n", quiet);
    printf("  idle %.1f s: %.0f ms of CPU (%.2f%% of one core)\n", seconds, cpuMs, cpuMs / 10 / seconds);
    printf("  memory: private %.1f MiB, working set %.1f MiB, peak %.1f MiB", after.privateMiB, after.workingMiB,
           after.peakWorkingMiB);
    if (after.residentMiB >= 0) printf(" (Linux's VmRSS %.1f MiB)", after.residentMiB);
    printf("\n");
    if (before) {
        printf("  (this process before watching: private %.1f MiB, working set %.1f MiB)\n", before->privateMiB,
               before->workingMiB);
    }
    bool met = quiet >= 0 && cpuMs / 10 / seconds < 1 && after.privateMiB < 100;
    printf("  goal: no CPU (under 1%%) and under 100 MiB: %s\n", met ? "met" : "missed");
    fflush(stdout);
    return met;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 3 && std::wstring(argv[1]) == L"child-stamp") return ChildStamp(argv[2]);
    std::wstring which = argc > 1 ? argv[1] : L"all";
    int spacedFiles = argc > 2 ? std::max(0, _wtoi(argv[2])) : 20;
    int burstFiles = argc > 3 ? std::max(0, _wtoi(argv[3])) : 200;
    std::wstring treeRoot = FullPath(argc > 4 ? argv[4] : ModuleFolder() + L"..\\watch-tree");
    std::wstring quenbrix = FullPath(argc > 5 ? argv[5] : ModuleFolder() + L"..\\Quenbrix.exe");
    bool inproc = which == L"all" || which == L"inproc";
    bool exe = which == L"all" || which == L"exe";

    bool met = true;
    bool ran = true;
    bool anyFiles = spacedFiles + burstFiles > 0;
    if (inproc && anyFiles) {
        TempDir dir;
        InProcessSide side;
        if (side.Start(dir.Path(), true)) {
            met = PrintDelays("In this process (the watch alone)", MeasureDelays(side, dir.Path(), spacedFiles,
                                                                                  burstFiles),
                              burstFiles) && met;
        } else {
            ran = false;
        }
    }
    if (exe && anyFiles) {
        TempDir dir;
        ExeSide side;
        if (side.Start(quenbrix, dir.Path(), true)) {
            met = PrintDelays("Quenbrix.exe /watch (its command's start)",
                              MeasureDelays(side, dir.Path(), spacedFiles, burstFiles), burstFiles) && met;
        } else {
            ran = false;
        }
    }
    std::wstring tree;
    if (!MakeTree(treeRoot, tree)) {
        fprintf(stderr, "the tree could not be made under %ls\n", treeRoot.c_str());
        return 2;
    }
    if (inproc) {
        Usage before = UsageOf(GetCurrentProcess());
        InProcessSide side;
        if (side.Start(tree, false)) {
            met = MeasureIdle("In this process (the watch alone), 100,000 files watched", side, &before) && met;
        } else {
            ran = false;
        }
    }
    if (exe) {
        ExeSide side;
        if (side.Start(quenbrix, tree, false)) {
            met = MeasureIdle("Quenbrix.exe /watch, 100,000 files watched", side, nullptr) && met;
        } else {
            ran = false;
        }
        // What the window costs of its own with nothing watched, beside.
        ExeSide plain;
        if (plain.Start(quenbrix, std::wstring(), true)) {
            MeasureIdle("Quenbrix.exe, the same job without watching", plain, nullptr);
        } else {
            ran = false;
        }
    }
    return !ran ? 2 : met ? 0 : 1;
}
