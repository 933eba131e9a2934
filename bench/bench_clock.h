// The benchmarks' clock.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// Seconds since some fixed moment, from the performance counter.
inline double Seconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The seconds from the start of `line` to its end, or -1 when it did not
// start or ended with another code than `expected`.
inline double TimedProcess(std::wstring line, const std::wstring& folder, DWORD flags, DWORD expected = 0) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, flags, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                        &process)) {
        fprintf(stderr, "did not start (%lu): %ls\n", GetLastError(), line.c_str());
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    double seconds = Seconds() - start;
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != expected) {
        fprintf(stderr, "exit code %lu: %ls\n", code, line.c_str());
        return -1;
    }
    return seconds;
}
