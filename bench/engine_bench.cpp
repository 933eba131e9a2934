// The batch engine against the plain system calls it is built on, measured
// in the same run:
//  1. 200 targets whose command does nothing, without a pre-command, against a
//     CreateProcessW + WaitForSingleObject loop over the same command line
//     (goal: at most 1.3 times the plain loop's time);
//  2. a pre-command step that prints 8 MiB, against a blocking ReadFile loop
//     over the same child's pipe with the step's read size of 2048 bytes
//     (goal: at most 2 times); a loop with 64 KiB reads is shown beside it.
// The program is its own child ("child-noop", "child-fill N"). The launches
// run `rounds` times (default 3), alternating which side goes first, the
// captures five times a round; the best time of each side counts.
//   engine_bench.exe [rounds]
// Exit code 1 when a goal is missed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/batch_runner.h"
#include "engine/child_process.h"

namespace {

const int kTargets = 200;
const int kCaptureBytes = 8 * 1024 * 1024;

int ChildFill(int bytes) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string block(65536, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(0x21 + i % 94);
    while (bytes > 0) {
        DWORD chunk = bytes < 65536 ? static_cast<DWORD>(bytes) : 65536;
        DWORD written = 0;
        if (!WriteFile(out, block.data(), chunk, &written, nullptr) || written == 0) return 1;
        bytes -= static_cast<int>(written);
    }
    return 0;
}

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring SelfCommand(const wchar_t* arguments) {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return L"\"" + std::wstring(module, n) + L"\" " + arguments;
}

// Plain: start, wait, close; nothing else.
double PlainLaunches(const std::wstring& line) {
    double start = Seconds();
    for (int i = 0; i < kTargets; ++i) {
        std::wstring writable = line;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            fprintf(stderr, "plain launch failed: %lu\n", GetLastError());
            exit(2);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return Seconds() - start;
}

// The engine: one job of kTargets targets on the worker thread.
double RunnerLaunches(const std::wstring& line) {
    BatchRunner runner;
    if (!runner.CreateWorker()) {
        fprintf(stderr, "worker not created\n");
        exit(2);
    }
    VQArray<VQWString, VQWString> targets;
    for (int i = 0; i < kTargets; ++i) targets.Add(VQWString().Format(L"C:\\bench\\target%03d.txt", i));
    double start = Seconds();
    if (runner.StartRun(VQWString(), VQWString(line.c_str()), VQWString(), targets) != BatchRunner::Started) {
        fprintf(stderr, "run not started\n");
        exit(2);
    }
    while (runner.GetState() != RunState::Ended) Sleep(1);
    runner.FinishRun();
    double elapsed = Seconds() - start;
    if (runner.succeededCount != kTargets) {
        fprintf(stderr, "run failed: %d of %d: %ls (error %lu)\n", runner.succeededCount.load(), kTargets,
                runner.errorText.Text(), GetLastError());
        exit(2);
    }
    return elapsed;
}

// Plain: the pipe's write end goes to the child only, so ReadFile blocks
// until data comes and ends at end-of-data.
double PlainCapture(const std::wstring& line, int readSize) {
    double start = Seconds();
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &attributes, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring writable = line;
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "plain capture launch failed: %lu\n", GetLastError());
        exit(2);
    }
    CloseHandle(writeEnd);
    std::string captured;
    std::string chunk(readSize, '\0');
    DWORD got = 0;
    while (ReadFile(readEnd, &chunk[0], static_cast<DWORD>(readSize), &got, nullptr) && got > 0) {
        captured.append(chunk.data(), got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    double elapsed = Seconds() - start;
    if (captured.size() != static_cast<size_t>(kCaptureBytes)) {
        fprintf(stderr, "plain capture got %zu bytes\n", captured.size());
        exit(2);
    }
    return elapsed;
}

// The engine's capture: the overlapped pipe read by completion routines.
double RunnerCapture(const std::wstring& line) {
    double start = Seconds();
    OutputPipe pipe(int64_t(1) << 30);
    VQWString commandLine(line.c_str());
    if (!pipe.Create()) {
        fprintf(stderr, "pipe not created\n");
        exit(2);
    }
    LaunchRequest request = {&commandLine, nullptr, nullptr, pipe.WriteEnd()};
    HANDLE process = LaunchChild(request);
    if (!process) {
        fprintf(stderr, "engine capture launch failed: %lu\n", GetLastError());
        exit(2);
    }
    pipe.CloseWriteEnd();
    pipe.StartReading();
    while (WaitForSingleObjectEx(process, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    pipe.Finish();
    CloseHandle(process);
    double elapsed = Seconds() - start;
    if (pipe.Bytes().GetLength() != kCaptureBytes) {
        fprintf(stderr, "engine capture got %d bytes\n", pipe.Bytes().GetLength());
        exit(2);
    }
    return elapsed;
}

double Min(double a, double b) { return a < b ? a : b; }

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 2 && wcscmp(argv[1], L"child-noop") == 0) return 0;
    if (argc >= 3 && wcscmp(argv[1], L"child-fill") == 0) return ChildFill(_wtoi(argv[2]));
    int rounds = argc >= 2 ? _wtoi(argv[1]) : 3;
    if (rounds < 1) rounds = 1;

    std::wstring noop = SelfCommand(L"child-noop");
    std::wstring fill = SelfCommand((L"child-fill " + std::to_wstring(kCaptureBytes)).c_str());

    double plainLaunch = 1e30, runnerLaunch = 1e30;
    double plainRead = 1e30, plainRead2k = 1e30, runnerRead = 1e30;
    for (int round = 0; round < rounds; ++round) {
        bool plainFirst = round % 2 == 0;
        double a = plainFirst ? PlainLaunches(noop) : RunnerLaunches(noop);
        double b = plainFirst ? RunnerLaunches(noop) : PlainLaunches(noop);
        double plain = plainFirst ? a : b, runner = plainFirst ? b : a;
        plainLaunch = Min(plainLaunch, plain);
        runnerLaunch = Min(runnerLaunch, runner);
        printf("round %d: %d launches: plain %.3f s, engine %.3f s\n", round + 1, kTargets, plain, runner);

        // One capture is short: take several of each per round.
        for (int k = 0; k < 5; ++k) {
            double p64 = PlainCapture(fill, 65536);
            double p2 = PlainCapture(fill, 2048);
            double r = RunnerCapture(fill);
            plainRead = Min(plainRead, p64);
            plainRead2k = Min(plainRead2k, p2);
            runnerRead = Min(runnerRead, r);
            printf("round %d: 8 MiB capture: plain (64 KiB reads) %.3f s, plain (2 KiB reads) %.3f s, engine %.3f s\n",
                   round + 1, p64, p2, r);
        }
        fflush(stdout);
    }
    double launchRatio = runnerLaunch / plainLaunch;
    double readRatio = runnerRead / plainRead2k;
    printf("\n%d targets, command that does nothing: engine %.3f s, plain %.3f s, ratio %.2f (goal <= 1.3)\n",
           kTargets, runnerLaunch, plainLaunch, launchRatio);
    printf("8 MiB pre-command capture: engine %.3f s, plain 2 KiB ReadFile loop %.3f s, ratio %.2f (goal <= 2); "
           "against 64 KiB reads %.3f s, ratio %.2f\n",
           runnerRead, plainRead2k, readRatio, plainRead, runnerRead / plainRead);
    return launchRatio <= 1.3 && readRatio <= 2.0 ? 0 : 1;
}
