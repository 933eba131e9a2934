// The benchmarks' own children: the benchmark program started again with an
// argument, so that no other program has to be found.
#pragma once

#include <windows.h>

#include <string>

// A text in a code page's bytes: a batch file's (CP_ACP), a Linux command line's (CP_UTF8).
inline std::string Encoded(const std::wstring& text, UINT codePage) {
    int n = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(codePage, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
    return bytes;
}

// This program's path in double quotes, then the arguments.
inline std::wstring SelfCommand(const std::wstring& arguments) {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    return L"\"" + std::wstring(module, n) + L"\" " + arguments;
}

// A child that starts a grandchild ("child-sleep"), writes both process ids to
// FILE and sleeps.
inline int ChildTree(const wchar_t* file) {
    std::wstring line = SelfCommand(L"child-sleep");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return 1;
    char ids[64];
    int n = wsprintfA(ids, "%lu %lu", GetCurrentProcessId(), process.dwProcessId);
    HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(out, ids, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(out);
    Sleep(60000);
    return 0;
}

// Closes a started program's window (when it has one) and waits for the
// program to end, ending it after a minute; the process's handles are closed.
inline void CloseStarted(HWND frame, PROCESS_INFORMATION& process) {
    if (frame) PostMessageW(frame, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}
