#include "tests/support/child_program.h"

#include <windows.h>

std::wstring ChildProgram() {
    wchar_t module[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
    std::wstring dir(module, n);
    size_t slash = dir.rfind(L'\\');
    dir = slash == std::wstring::npos ? std::wstring(L".") : dir.substr(0, slash);
    return L"\"" + dir + L"\\qb_child.exe\"";
}
