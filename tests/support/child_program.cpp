#include "tests/support/child_program.h"

#include <windows.h>

#include "tests/support/wait.h"

std::wstring ChildProgram() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring dir(module, n);
    size_t slash = dir.rfind(L'\\');
    dir = slash == std::wstring::npos ? std::wstring(L".") : dir.substr(0, slash);
    return L"\"" + dir + L"\\qb_child.exe\"";
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

::testing::AssertionResult FileAppearsWithin(const std::wstring& path) { return FileAppearsWithin(path, kWaitMs); }

::testing::AssertionResult FileAppearsWithin(const std::wstring& path, unsigned ms) {
    return WaitUntil(L"the file " + path, [&path] { return FileExists(path); }, ms);
}
