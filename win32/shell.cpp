#include "win32/shell.h"

#include <shellapi.h>

#include <cstring>

bool VQWin32OpenWithShell(HWND owner, const wchar_t* path) {
    return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

bool VQWin32ShowInExplorer(HWND, const wchar_t* path) {
    VQWString parameters;
    parameters.Format(L"/select,\"%s\"", path);
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters.Text(), nullptr,
                                                   SW_SHOWNORMAL)) > 32;
}

bool VQWin32CopyTextToClipboard(HWND owner, const VQWString& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    size_t bytes = (static_cast<size_t>(text.GetLength()) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool copied = false;
    if (block) {
        void* data = GlobalLock(block);
        memcpy(data, text.Text(), bytes);
        GlobalUnlock(block);
        copied = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        // The clipboard owns a block it took.
        if (!copied) GlobalFree(block);
    }
    CloseClipboard();
    return copied;
}
