#include "app/output_paths.h"

#include <windows.h>

#include <cwchar>

#include "base/files.h"
#include "engine/template.h"

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path that does not depend on the current directory: "C:\…" or "\\server\…".
bool IsAbsolute(const VQWString& path) {
    int n = path.GetLength();
    if (n >= 2 && IsSeparator(path.GetAt(0)) && IsSeparator(path.GetAt(1))) return true;
    return n >= 3 && IsDriveLetter(path.GetAt(0)) && path.GetAt(1) == L':' && IsSeparator(path.GetAt(2));
}

bool IsBareDrive(const VQWString& path) {
    int n = path.GetLength();
    return (n == 2 || (n == 3 && IsSeparator(path.GetAt(2)))) && IsDriveLetter(path.GetAt(0)) && path.GetAt(1) == L':';
}

// The first character of the path that no name may hold, or 0.
wchar_t RefusedCharacter(const VQWString& path) {
    int start = 0;
    // A \\?\ or \\.\ prefix holds what names may not.
    if (path.GetLength() >= 4 && IsSeparator(path.GetAt(0)) && IsSeparator(path.GetAt(1)) &&
        (path.GetAt(2) == L'?' || path.GetAt(2) == L'.') && IsSeparator(path.GetAt(3))) {
        start = 4;
    }
    for (int i = start; i < path.GetLength(); ++i) {
        wchar_t c = path.GetAt(i);
        if (c == L':' && i == start + 1 && IsDriveLetter(path.GetAt(start))) continue;
        if (c < 0x20 || wcschr(L"<>:\"|?*", c)) return c;
    }
    return 0;
}

bool LastWrite(const VQWString& path, ULONGLONG& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(SystemForm(path).Text(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    time = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

}  // namespace

OutputPath ExpandOutputPath(const VQWString& outputTemplate, const VQWString& target, const VQWString& root,
                            const VQWString& directory) {
    OutputPath result;
    VQWString text = outputTemplate;
    VQTemplateContext context;
    context.root = root;
    context.forOutput = true;
    if (!ExpandTemplate(text, target, VQWString(), context, result.error, kMaxCommandLineUnits, &result.marker)) {
        return result;
    }
    if (text.IsEmpty()) {
        result.error = L"出力先が空になります。";
        return result;
    }
    if (IsBareDrive(text)) {
        result.error.Format(L"出力先がドライブだけです。\n%s", text.Text());
        return result;
    }
    if (wchar_t refused = RefusedCharacter(text)) {
        if (refused < 0x20) {
            result.error.Format(L"出力先にファイル名に使えない文字があります。\n%s", text.Text());
        } else {
            result.error.Format(L"出力先にファイル名に使えない文字 %c があります。\n%s", refused, text.Text());
        }
        return result;
    }
    VQWString joined = text;
    if (!IsAbsolute(text) && !directory.IsEmpty()) {
        if (IsSeparator(text.GetAt(0))) {
            // "\out\x.txt": the root of the working directory's drive.
            joined = directory.Left(2);
        } else if (text.GetLength() >= 2 && text.GetAt(1) == L':') {
            joined = VQWString();  // "D:x": the drive's own current folder, as Windows takes it
        } else {
            joined = directory;
            if (!IsSeparator(joined.GetAt(joined.GetLength() - 1))) joined.Append(L'\\');
        }
        joined.Append(text);
    }
    VQWString full;
    if (!GetFullPath(joined, full)) full = joined;
    DWORD attributes = GetFileAttributesW(SystemForm(full).Text());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        result.error.Format(L"出力先はファイルではなくフォルダです。\n%s", full.Text());
        return result;
    }
    result.path = full;
    return result;
}

bool IsOutputUpToDate(const VQWString& source, const VQWString& output) {
    ULONGLONG sourceTime = 0, outputTime = 0;
    if (!LastWrite(output, outputTime) || !LastWrite(source, sourceTime)) return false;
    const ULONGLONG slack = 2ULL * 10000000ULL;  // 2 s in 100 ns units
    return outputTime + slack >= sourceTime;
}
