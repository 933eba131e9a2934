#include "engine/file_variables.h"

#include <cwchar>

namespace {

int Length(const wchar_t* text) { return text ? static_cast<int>(wcslen(text)) : 0; }

VQWString Units(const wchar_t* text, int count) {
    VQWString result;
    if (count > 0) result.Append(text, count);
    return result;
}

// Start of the last component: after the last "\", or 0.
int LastComponentStart(const wchar_t* path, int length) {
    for (int i = length - 1; i >= 0; --i) {
        if (path[i] == L'\\') return i + 1;
    }
    return 0;
}

}  // namespace

VQWString GetDirPath(const wchar_t* path) {
    int length = Length(path);
    for (int i = length - 1; i >= 0; --i) {
        if (path[i] == L'\\' || path[i] == L':') return Units(path, i + 1);
    }
    return VQWString();
}

VQWString GetFileName(const wchar_t* path) {
    int length = Length(path);
    int start = LastComponentStart(path, length);
    return Units(path + start, length - start);
}

VQWString GetFileTitle(const wchar_t* path) {
    int length = Length(path);
    int start = LastComponentStart(path, length);
    int end = length;
    for (int i = length - 1; i >= start; --i) {
        if (path[i] == L'.') end = i;
    }
    return Units(path + start, end - start);
}

VQWString GetFileExt(const wchar_t* path) {
    int length = Length(path);
    for (int i = length - 1; i >= 0; --i) {
        if (path[i] == L'\\') break;
        if (path[i] == L'.') return Units(path + i + 1, length - i - 1);
    }
    return VQWString();
}

VQWString GetFullTitle(const wchar_t* path) {
    int length = Length(path);
    if (length > 1) {
        for (int i = length - 1; i >= 1; --i) {
            if (path[i] == L'\\') break;
            if (path[i] == L'.') return Units(path, i);
        }
    }
    return Units(path, length);
}

VQWString GetFileStem(const wchar_t* path) {
    int length = Length(path);
    int start = LastComponentStart(path, length);
    for (int i = length - 1; i >= start; --i) {
        if (path[i] == L'.') return Units(path + start, i - start);
    }
    return Units(path + start, length - start);
}

bool HasDrivePrefix(const wchar_t* text) {
    if (Length(text) < 2 || text[1] != L':') return false;
    wchar_t letter = text[0];
    if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - 32);
    return letter >= L'A' && letter <= L'Z';
}

VQWString ToHashForm(const wchar_t* text) {
    int length = Length(text);
    int escapes = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] == L':' || text[i] == L'\\' || text[i] == L'^') ++escapes;
    }
    if (escapes == 0) return Units(text, length);
    VQWString result;
    result.SetLength(length + escapes);
    wchar_t* out = result.GetData();
    for (int i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c == L':') {
            *out++ = L'^';
            *out++ = L';';
        } else if (c == L'\\') {
            *out++ = L'^';
            *out++ = L' ';
        } else if (c == L'^') {
            *out++ = L'^';
            *out++ = L'^';
        } else {
            *out++ = c;
        }
    }
    return result;
}

VQWString GetDirWithoutDrive(const wchar_t* path) {
    VQWString dir = GetDirPath(path);
    return HasDrivePrefix(dir) ? dir.Mid(2) : dir;
}

VQWString GetDrive(const wchar_t* path) { return HasDrivePrefix(path) ? Units(path, 2) : VQWString(); }

bool GetLevelPath(const wchar_t* path, int skip, int keep, VQWString& result) {
    VQWString p = GetDirWithoutDrive(path);
    if (p.GetAt(0) == L'\\') p = p.Mid(1);
    for (int i = 0; i < skip; ++i) {
        int slash = p.FindOneOf(L"\\", 0);
        if (slash < 0) return false;
        p = p.Mid(slash + 1);
    }
    if (keep > 0) {
        int slash = -1;
        for (int i = 0; i < keep; ++i) {
            slash = p.FindOneOf(L"\\", slash + 1);
            if (slash < 0) return false;
        }
        p = p.Left(slash + 1);
    }
    result = p;
    return true;
}
