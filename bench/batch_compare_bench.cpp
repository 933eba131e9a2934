// What a user would write instead, on the same work, under the same Wine in
// one run: 40 files, each copied to out\<title>.bak through a pre-command
// that prints the title, by the engine (pre-command `cmd /c echo $title`,
// command `cmd /c copy "$fullname" "out\$pre.bak"`) and by a batch file
// doing the same with for /f. The engine runs with the command visible and
// with HideCommand, on 1 and 2 slots. Goals: HideCommand on 1 slot at most
// 1.1 times the batch file, on 2 slots at most 0.63 times.
//   batch_compare_bench.exe [rounds]      (bench/batch_compare.sh runs it
//                                          with and without a display)
// Exit code 1 when a goal is missed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_clock.h"
#include "engine/batch_runner.h"
#include "tests/support/temp_dir.h"

namespace {

const int kFiles = 40;

void Check(bool ok, const char* what) {
    if (ok) return;
    fprintf(stderr, "%s failed (%lu)\n", what, GetLastError());
    exit(2);
}

// $pre keeps the line end of echo as two spaces ("file01  .bak"), where for /f
// drops it: each side's 40 files count.
int CountCopies(const TempDir& temp) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(temp.Join(L"out\\*.bak").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

void EmptyOut(const TempDir& temp) {
    TempDir::RemoveTree(temp.Join(L"out"));
    Check(CreateDirectoryW(temp.Join(L"out").c_str(), nullptr) != 0, "out folder");
}

double BatchFile(const TempDir& temp) {
    EmptyOut(temp);
    std::wstring line = L"cmd /c job.bat";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    Check(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, temp.Path().c_str(), &startup,
                         &process) != 0,
          "batch file");
    WaitForSingleObject(process.hProcess, INFINITE);
    double elapsed = Seconds() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Check(CountCopies(temp) == kFiles, "batch file's copies");
    return elapsed;
}

double Engine(const TempDir& temp, bool hide, int slots) {
    EmptyOut(temp);
    BatchRunner runner;
    Check(runner.CreateWorker(), "worker");
    VQArray<VQWString, VQWString> targets;
    for (int i = 1; i <= kFiles; ++i) {
        wchar_t name[64];
        wsprintfW(name, L"dir\\file%02d.txt", i);
        targets.Add(VQWString(temp.Join(name).c_str()));
    }
    RunOptions options;
    options.hideCommand = hide;
    options.parallel = slots;
    double start = Seconds();
    Check(runner.StartRun(VQWString(L"cmd /c echo $title"), VQWString(L"cmd /c copy \"$fullname\" \"out\\$pre.bak\""),
                          VQWString(temp.Path().c_str()), targets, options) == BatchRunner::Started,
          "run");
    // Every look is a server round trip under Wine: seldom, as the window looks (every 100 ms).
    while (runner.GetState() != RunState::Ended) Sleep(20);
    double elapsed = Seconds() - start;
    runner.FinishRun();
    Check(runner.GetSucceededCount() == kFiles && CountCopies(temp) == kFiles, "engine's copies");
    return elapsed;
}

double Min(double a, double b) { return a < b ? a : b; }

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int rounds = argc >= 2 ? _wtoi(argv[1]) : 3;
    if (rounds < 1) rounds = 1;
    TempDir temp;
    for (int i = 1; i <= kFiles; ++i) {
        wchar_t name[64];
        wsprintfW(name, L"dir\\file%02d.txt", i);
        temp.WriteFile(name, "some content of a file to copy\r\n");
    }
    // Wine's cmd wants the pattern unquoted.
    temp.WriteFile(L"job.bat",
                   "@echo off\r\nfor %%f in (dir\\*.txt) do (for /f \"delims=\" %%t in ('cmd /c echo %%~nf') do "
                   "cmd /c copy \"%%f\" \"out\\%%t.bak\")\r\n");

    double batch = 1e30, visible = 1e30, hidden = 1e30, hidden2 = 1e30;
    for (int round = 0; round < rounds; ++round) {
        bool batchFirst = round % 2 == 0;
        double b = 0, h = 0;
        if (batchFirst) b = BatchFile(temp);
        h = Engine(temp, true, 1);
        if (!batchFirst) b = BatchFile(temp);
        double h2 = Engine(temp, true, 2), v = Engine(temp, false, 1);
        batch = Min(batch, b);
        hidden = Min(hidden, h);
        hidden2 = Min(hidden2, h2);
        visible = Min(visible, v);
        printf("round %d: batch file %.3f s; engine visible %.3f s, hidden %.3f s, hidden 2 slots %.3f s\n", round + 1,
               b, v, h, h2);
        fflush(stdout);
    }
    printf("\n%d files: batch file %.3f s; engine with the command visible %.3f s (ratio %.2f), hidden %.3f s "
           "(ratio %.2f, goal <= 1.1), hidden on 2 slots %.3f s (ratio %.2f, goal <= 0.63)\n",
           kFiles, batch, visible, visible / batch, hidden, hidden / batch, hidden2, hidden2 / batch);
    return hidden / batch <= 1.1 && hidden2 / batch <= 0.63 ? 0 : 1;
}
