// The about box of VQWin32StandardWindow and the reader of the program
// file's version resource that fills it.
#pragma once

#include <windows.h>

#include "base/strings.h"

class VQWin32VersionInfo {
public:
    VQWin32VersionInfo();
    ~VQWin32VersionInfo();
    VQWin32VersionInfo(const VQWin32VersionInfo&) = delete;
    VQWin32VersionInfo& operator=(const VQWin32VersionInfo&) = delete;

    // Reads the version block of the running program's file.
    bool Load();
    // A string of the first translation ("FileVersion", ...); empty when
    // missing. The block holds UTF-16: QueryW gives it whole, Query in the
    // ANSI code page (where a character outside it becomes "?").
    VQWString QueryW(const wchar_t* name);
    VQString Query(const char* name);

    HGLOBAL block;                        // owned: freed by the destructor or a failed Load
    VQString translationKey;              // "%04x%04x": language and code page
    VS_FIXEDFILEINFO* fixedInfo;          // inside block

private:
    void Free();

    DWORD blockSize;
};
