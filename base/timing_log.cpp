#include "base/timing_log.h"

#include <cstdio>

namespace {

// owned: closed by TimingLogClose, or by the system at the process's end.
HANDLE timingFile = INVALID_HANDLE_VALUE;
ULONGLONG processBegan = 0;  // 100 ns units, as FILETIME

ULONGLONG AsNumber(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool TimingLogOpen(const wchar_t* path) {
    TimingLogClose();
    // Every WriteFile on an append handle lands whole at the end, so threads need no lock.
    timingFile = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (timingFile == INVALID_HANDLE_VALUE) return false;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) processBegan = AsNumber(created);
    char line[64];
    int n = snprintf(line, sizeof line, "process %lu, 0\r\n", GetCurrentProcessId());
    DWORD written = 0;
    WriteFile(timingFile, line, static_cast<DWORD>(n), &written, nullptr);
    return true;
}

void TimingLogFromEnvironment() {
    if (TimingLogOn()) return;
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableW(L"QUENBRIX_TIMING", path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return;
    TimingLogOpen(path);
}

void TimingLogClose() {
    if (timingFile == INVALID_HANDLE_VALUE) return;
    CloseHandle(timingFile);
    timingFile = INVALID_HANDLE_VALUE;
}

bool TimingLogOn() { return timingFile != INVALID_HANDLE_VALUE; }

void TimingMark(const char* name) {
    if (timingFile == INVALID_HANDLE_VALUE) return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG since = AsNumber(now) - processBegan;
    char line[160];
    int n = snprintf(line, sizeof line, "%s, %.1f\r\n", name, static_cast<double>(since) / 10000.0);
    if (n <= 0) return;
    if (n >= static_cast<int>(sizeof line)) n = sizeof line - 1;
    DWORD written = 0;
    WriteFile(timingFile, line, static_cast<DWORD>(n), &written, nullptr);
}
