// The desktop's shell and clipboard, one call each. The window holds them
// as replaceable function pointers, so tests see what would have opened.
#pragma once

#include <windows.h>

#include "base/strings.h"

// Opens a file in the program Windows has for it; false when none opened.
bool VQWin32OpenWithShell(HWND owner, const wchar_t* path);
// Opens Explorer at the file's folder with the file selected.
bool VQWin32ShowInExplorer(HWND owner, const wchar_t* path);
// Puts text on the clipboard, replacing what it held.
bool VQWin32CopyTextToClipboard(HWND owner, const VQWString& text);
