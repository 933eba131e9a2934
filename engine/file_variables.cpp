#include "engine/file_variables.h"

#include <cwchar>

#include "base/files.h"
#include "base/path_identity.h"

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

VQWString FlattenOutput(const VQWString& output) {
    int end = output.GetLength();
    while (end > 0 && (output.GetAt(end - 1) == L'\r' || output.GetAt(end - 1) == L'\n')) --end;
    if (output.FindOneOf(L"\r\n", 0) < 0) return output;
    VQWString flat;
    flat.SetLength(end);
    wchar_t* out = flat.GetData();
    int length = 0;
    for (int i = 0; i < end; ++i) {
        wchar_t c = output.GetAt(i);
        if (c == L'\r' && i + 1 < end && output.GetAt(i + 1) == L'\n') continue;  // the LF stands for the pair
        out[length++] = c == L'\r' || c == L'\n' ? L' ' : c;
    }
    flat.SetLength(length);
    return flat;
}

VQWString ResolvePath(const VQWString& text, const VQWString& base) {
    if (text.IsEmpty()) return base;
    VQWString combined;
    bool drive = HasDrivePrefix(text);
    bool rooted = text.GetAt(0) == L'\\';
    if (!drive && !rooted) {
        combined = base;
        if (!combined.IsEmpty() && combined.GetAt(combined.GetLength() - 1) != L'\\') combined.Append(L'\\');
        combined.Append(text);
    } else if (rooted && !(text.GetLength() > 1 && text.GetAt(1) == L'\\') && HasDrivePrefix(base)) {
        // "\x" is on the base's drive.
        combined = base.Left(2);
        combined.Append(text);
    } else {
        combined = text;
    }
    // What the system would hand back unchanged needs no call into it: a
    // whole-list check resolves one output a target. Device names are left
    // to the system, which makes them \\.\ names.
    if (IsPlainFullPath(combined.Text(), combined.GetLength()) && !HasUnopenableName(combined)) return combined;
    // Resolves "." and ".." without asking the process's current directory.
    VQWString full;
    return GetFullPath(combined, full) ? full : combined;
}
