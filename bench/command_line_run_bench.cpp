// The real Quenbrix.exe started as a scheduled task starts it: `/run` over
// `count` files (default 1,000) with 続ける (OnFailure = 1), once with every
// command succeeding and once with every tenth failing. Failures must not
// slow the rest: the second run should take about as long as the first.
// Each run is a start of the program, a run of count commands (this program
// again, as "child-exit CODE") and the close; the figure is wall time.
//
// The program keeps the job it ran in the registry, as any start does: run
// this in a Wine prefix (or a user) whose settings do not matter.
//
//   command_line_run_bench.exe [count]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_clock.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring ModulePath() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return std::wstring(module, n);
}

// Quenbrix.exe in the folder above this program's (build/bench).
std::wstring ProgramPath() {
    std::wstring self = ModulePath();
    return self.substr(0, self.rfind(L'\\') + 1) + L"..\\Quenbrix.exe";
}

std::string Utf16File(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

// One /run over count files, every `failEvery`-th failing (0: none); the
// seconds it took, or a negative number when the exit code was not `expected`.
double TimedRun(int count, int failEvery, DWORD expected) {
    TempDir dir, appData;
    std::wstring lines;
    for (int i = 1; i <= count; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"%d-%05d.txt", failEvery > 0 && i % failEvery == 0 ? 3 : 0, i);
        lines += dir.WriteFile(name, "x") + L"\r\n";
    }
    std::wstring list = dir.WriteFile(L"list.txt", Utf16File(lines));
    std::wstring settings = dir.WriteFile(
        L"job.ini", Utf16File(L"[Quenbrix]\r\nCommand = \"" + ModulePath() +
                              L"\" child-exit $title\r\nCheckExitCode = 1\r\nOnFailure = 1\r\nDelete = 1\r\nParallel = 4\r\n"));
    std::wstring commandLine = L"\"" + ProgramPath() + L"\" /run \"" + settings + L"\" /list \"" + list + L"\"";
    SetEnvironmentVariableW(L"LOCALAPPDATA", appData.Path().c_str());
    return TimedProcess(commandLine, std::wstring(), 0, expected);
}

}  // namespace

int main(int argc, char** argv) {
    // The names are ASCII: "0-00001" ends with 0, "3-00010" with 3.
    if (argc >= 3 && std::string(argv[1]) == "child-exit") return atoi(argv[2]);
    int count = argc >= 2 ? atoi(argv[1]) : 1000;
    if (count < 10) count = 10;
    double allDone = TimedRun(count, 0, 0);
    double someFailed = TimedRun(count, 10, 1);
    if (allDone < 0 || someFailed < 0) return 1;
    printf("/run over %d files, 4 at once, 続ける:\n", count);
    printf("  every command succeeds: %.2f s (%.1f ms a file)\n", allDone, allDone * 1000 / count);
    printf("  every tenth fails:      %.2f s (%.1f ms a file), %.2f times the first\n", someFailed,
           someFailed * 1000 / count, someFailed / allDone);
    return 0;
}
